#include "update/shell/shell_trace.h"

#include "update/program_clock.h"
#include "update/program_trace.h"

namespace ckupdate {

std::string MainTraceLine(unsigned tick, const std::string& text) {
    return "\t\t" + std::to_string(tick) + "\t" + text;
}

void MainTrace(const std::string& text) { ProgramTrace(MainTraceLine(SystemClock().NowMs(), text)); }

}  // namespace ckupdate
