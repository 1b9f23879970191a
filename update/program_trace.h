// The program's trace lines (the system debugger output of the original): a
// sink that writes them to standard error when TOLA_TRACE=1 and drops them
// otherwise.  Tests install their own sink.  Thread-safe.
#pragma once

#include <functional>
#include <string>

namespace ckupdate {

using ProgramTraceSink = std::function<void(const std::string&)>;

// An empty sink restores the default.
void SetProgramTraceSink(ProgramTraceSink sink);
// Hands one complete line (already in its format) to the sink.
void ProgramTrace(const std::string& line);

}  // namespace ckupdate
