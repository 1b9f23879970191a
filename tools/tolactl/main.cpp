// tolactl - command-line access to a Chromatik instrument through libTOLA_comm.
#include "commands.h"

#include <cstdio>

int main(int argc, char** argv) {
    CLI::App app{"tolactl - talk to a Chromatik instrument through libTOLA_comm"};
    app.require_subcommand(1);
    tolactl::add_version_command(app);
    tolactl::add_structure_commands(app);
    tolactl::add_command_commands(app);
    tolactl::add_bluetooth_commands(app);
    tolactl::add_measurement_commands(app);
    tolactl::add_update_commands(app);
    tolactl::add_settings_commands(app);
    tolactl::add_rollback_command(app);
    try {
        app.parse(argc, argv);
    } catch (const tolactl::Failure& failure) {
        std::fprintf(stderr, "tolactl: %s\n", failure.what());
        return failure.get_exit_code();
    } catch (const CLI::ParseError& error) {
        return app.exit(error);
    }
    return 0;
}
