// Trace lines of the main window and its connection thread: tab, tab, the
// millisecond tick in decimal, tab, the text.  They go to the program's trace
// sink (standard error with TOLA_TRACE=1).
#pragma once

#include <string>

namespace ckupdate {

// The line as it is traced, for a given tick.
std::string MainTraceLine(unsigned tick, const std::string& text);

// Traces the text with the current tick.
void MainTrace(const std::string& text);

}  // namespace ckupdate
