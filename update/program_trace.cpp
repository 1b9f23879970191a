#include "update/program_trace.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace ckupdate {
namespace {

std::mutex& sink_mutex() {
    static std::mutex m;
    return m;
}

ProgramTraceSink& sink() {
    static ProgramTraceSink s;
    return s;
}

bool trace_enabled() {
    static const bool enabled = [] {
        const char* v = std::getenv("TOLA_TRACE");
        return v != nullptr && std::strcmp(v, "1") == 0;
    }();
    return enabled;
}

}  // namespace

void SetProgramTraceSink(ProgramTraceSink s) {
    std::lock_guard lock(sink_mutex());
    sink() = std::move(s);
}

void ProgramTrace(const std::string& line) {
    std::lock_guard lock(sink_mutex());
    if (sink()) {
        sink()(line);
    } else if (trace_enabled()) {
        std::fwrite(line.data(), 1, line.size(), stderr);
        std::fputc('\n', stderr);
    }
}

}  // namespace ckupdate
