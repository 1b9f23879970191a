// The state file the program leaves for whoever drives it (tests, scripts): which
// instruments run and where their sockets are.
#pragma once

#include <filesystem>
#include <string>

#include "sim/simulator.h"

namespace tola::sim {

std::string state_json(const Simulator& simulator);
bool write_state_file(const std::filesystem::path& path, const Simulator& simulator, std::string* error);

}  // namespace tola::sim
