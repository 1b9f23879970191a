#include "comm/platform/diagnostics.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace tola::platform {
namespace {

std::mutex sink_mutex;
TraceSink trace_sink;
std::function<void(std::string_view, std::string_view)> box_sink;

bool trace_enabled() {
    static const bool enabled = [] {
        const char* v = std::getenv("TOLA_TRACE");
        return v != nullptr && std::strcmp(v, "1") == 0;
    }();
    return enabled;
}

}  // namespace

void message_box(std::string_view caption, std::string_view text) {
    std::lock_guard lock(sink_mutex);
    if (box_sink) {
        box_sink(caption, text);
        return;
    }
    std::string line;
    line.append(caption).append(": ").append(text).push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stderr);
}

void set_trace_sink(TraceSink sink) {
    std::lock_guard lock(sink_mutex);
    trace_sink = std::move(sink);
}

void trace(std::string_view line) {
    std::lock_guard lock(sink_mutex);
    if (trace_sink) {
        trace_sink(line);
    } else if (trace_enabled()) {
        std::string out(line);
        out.push_back('\n');
        std::fwrite(out.data(), 1, out.size(), stderr);
    }
}

void set_message_box_sink(std::function<void(std::string_view, std::string_view)> sink) {
    std::lock_guard lock(sink_mutex);
    box_sink = std::move(sink);
}

}  // namespace tola::platform
