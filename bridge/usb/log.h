// The bridge's messages: on standard error in the foreground, to the system log
// when it runs detached.  Request traces only when asked for.
#pragma once

#include <string>

namespace tola::usbd {

enum class LogSink { StandardError, SystemLog, Silent };

void set_log_sink(LogSink sink, bool trace_requests);
bool tracing_requests();

void log_info(const std::string& text);
void log_warning(const std::string& text);
void log_trace(const std::string& text);

}  // namespace tola::usbd
