// Where the library's own messages go on this platform: "message boxes" become a
// line on standard error (the library never blocks on a user), traces go to a
// sink that is silent unless TOLA_TRACE=1 or a test installs its own.
#pragma once

#include <functional>
#include <string_view>

namespace tola::platform {

void message_box(std::string_view caption, std::string_view text);

using TraceSink = std::function<void(std::string_view)>;

// Installs a sink for trace lines; an empty function restores the default.
void set_trace_sink(TraceSink sink);
void trace(std::string_view line);

// Sink for message boxes, so tests can see them; empty restores standard error.
void set_message_box_sink(std::function<void(std::string_view caption, std::string_view text)> sink);

}  // namespace tola::platform
