// A line-based control socket for the running program, so that scripts and tests
// in other processes can inject faults and read journals:
//   "<index> <fault>"  -> "ok" or "error <why>"
//   "journal <index>"       -> the journal's lines, then "."
//   "list"                  -> "<index> <socket>" per instrument, then "."
#pragma once

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "sim/simulator.h"

namespace tola::sim {

// The answer to one control line (without the final newline).
std::string control_command(Simulator& simulator, std::string_view line);

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
