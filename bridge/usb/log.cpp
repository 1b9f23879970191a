#include "bridge/usb/log.h"

#include <atomic>
#include <cstdio>
#include <mutex>

#include <syslog.h>

namespace tola::usbd {
namespace {

std::atomic<LogSink> g_sink{LogSink::StandardError};
std::atomic<bool> g_trace{false};
std::mutex g_mutex;

void write(int priority, const std::string& text) {
    switch (g_sink.load()) {
        case LogSink::Silent: return;
        case LogSink::SystemLog: ::syslog(priority, "%s", text.c_str()); return;
        case LogSink::StandardError: {
            std::lock_guard lock(g_mutex);
            std::fprintf(stderr, "tola-usbd: %s\n", text.c_str());
            return;
        }
    }
}

}  // namespace

void set_log_sink(LogSink sink, bool trace_requests) {
    if (sink == LogSink::SystemLog) ::openlog("tola-usbd", LOG_PID, LOG_DAEMON);
    g_sink = sink;
    g_trace = trace_requests;
}

bool tracing_requests() { return g_trace.load(); }

void log_info(const std::string& text) { write(LOG_INFO, text); }
void log_warning(const std::string& text) { write(LOG_WARNING, text); }
void log_trace(const std::string& text) {
    if (g_trace.load()) write(LOG_DEBUG, text);
}

}  // namespace tola::usbd
