// tolactl - command-line access to a Chromatik instrument through libTOLA_comm.
#include "commands.h"

int main(int argc, char** argv) {
    CLI::App app{"tolactl - talk to a Chromatik instrument through libTOLA_comm"};
    app.require_subcommand(1);
    tolactl::add_version_command(app);
    tolactl::add_structure_commands(app);
    tolactl::add_command_commands(app);
    tolactl::add_bluetooth_commands(app);
    tolactl::add_measurement_commands(app);
    tolactl::add_update_commands(app);
    CLI11_PARSE(app, argc, argv);
    return 0;
}
