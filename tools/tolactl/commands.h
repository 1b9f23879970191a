// tolactl: each group of commands registers itself on the application.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

namespace tolactl {

// A command that cannot do its work ends with this: main says why on standard
// error ("tolactl: why") and exits with the code.
class Failure : public CLI::RuntimeError {
public:
    Failure(const std::string& why, int exit_code) : CLI::RuntimeError(why, exit_code) {}
};

void add_version_command(CLI::App& app);
void add_structure_commands(CLI::App& app);
void add_command_commands(CLI::App& app);
void add_bluetooth_commands(CLI::App& app);
void add_measurement_commands(CLI::App& app);
void add_update_commands(CLI::App& app);
void add_settings_commands(CLI::App& app);
void add_rollback_command(CLI::App& app);
void add_list_command(CLI::App& app);

// The Bluetooth instrument chosen with bt-select (empty: none).
std::string selected_device();

}  // namespace tolactl
