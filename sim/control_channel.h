// A line-based control socket for the running program, so that scripts and tests
// in other processes can inject faults and read journals:
//   "<index> <fault>"  -> "ok" or "error <why>"
//   "<index> trigger"  -> "ok": the trigger is pressed (a colour measurement)
//   "<index> echo"     -> "ok": the current queue entry is reported again
//   "journal <index>"       -> the journal's lines, then "."
//   "list"                  -> "<index> <socket>" per instrument, then "."
#pragma once

#include <atomic>
#include <filesystem>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "sim/simulator.h"

namespace tola::sim {

// The answer to one control line (without the final newline).
std::string control_command(Simulator& simulator, std::string_view line);

// Sends one line to the control socket at `path` and returns the answer
// (multi-line answers up to their "." line); nothing when nobody listens or no
// answer came within the timeout.
std::optional<std::string> ask_control(const std::filesystem::path& path, std::string_view line,
                                       std::chrono::milliseconds timeout = std::chrono::seconds(5));

class ControlChannel {
public:
    ControlChannel(Simulator& simulator, std::filesystem::path path);
    ~ControlChannel();
    bool listening() const { return listening_; }
    const std::string& error() const { return error_; }

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::thread thread_;
    bool listening_ = false;
    std::string error_;
};

}  // namespace tola::sim
