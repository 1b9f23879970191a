// tolactl: each command registers itself on the application.
#pragma once

#include <CLI/CLI.hpp>

namespace tolactl {

void add_version_command(CLI::App& app);

}  // namespace tolactl
