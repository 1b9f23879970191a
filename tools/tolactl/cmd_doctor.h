// tolactl doctor: why no instrument is reached, and how to fix it.
#pragma once

#include <CLI/CLI.hpp>

namespace tolactl {

void add_doctor_command(CLI::App& app);

}  // namespace tolactl
