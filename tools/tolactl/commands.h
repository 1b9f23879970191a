// tolactl: each group of commands registers itself on the application.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

namespace tolactl {

void add_version_command(CLI::App& app);
void add_structure_commands(CLI::App& app);
void add_command_commands(CLI::App& app);
void add_bluetooth_commands(CLI::App& app);
void add_measurement_commands(CLI::App& app);
void add_update_commands(CLI::App& app);

// The Bluetooth instrument chosen with bt-select (empty: none).
std::string selected_device();

}  // namespace tolactl
