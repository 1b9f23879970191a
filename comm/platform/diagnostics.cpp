#include "comm/platform/diagnostics.h"

#include "comm/platform/process_global.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace tola::platform {
namespace {

struct Sinks {
    std::mutex mutex;
    TraceSink trace;
    std::function<void(std::string_view, std::string_view)> box;
};

Sinks& sinks() {
    static ProcessGlobal<Sinks> s;
    return *s;
}

bool trace_enabled() {
    static const bool enabled = [] {
        const char* v = std::getenv("TOLA_TRACE");
        return v != nullptr && std::strcmp(v, "1") == 0;
    }();
    return enabled;
}

}  // namespace

void message_box(std::string_view caption, std::string_view text) {
    Sinks& s = sinks();
    std::lock_guard lock(s.mutex);
    if (s.box) {
        s.box(caption, text);
        return;
    }
    std::string line;
    line.append(caption).append(": ").append(text).push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stderr);
}

void set_trace_sink(TraceSink sink) {
    Sinks& s = sinks();
    std::lock_guard lock(s.mutex);
    s.trace = std::move(sink);
}

void trace(std::string_view line) {
    Sinks& s = sinks();
    std::lock_guard lock(s.mutex);
    if (s.trace) {
        s.trace(line);
    } else if (trace_enabled()) {
        std::string out(line);
        out.push_back('\n');
        std::fwrite(out.data(), 1, out.size(), stderr);
    }
}

void set_message_box_sink(std::function<void(std::string_view, std::string_view)> sink) {
    Sinks& s = sinks();
    std::lock_guard lock(s.mutex);
    s.box = std::move(sink);
}

}  // namespace tola::platform
