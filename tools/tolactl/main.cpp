// tolactl - command-line access to a Chromatik instrument through libTOLA_comm.
#include "cmd_doctor.h"
#include "commands.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The library opens its record on first use, before any command's callback
// could set the variable, so --record is taken from the words before the
// command here; CLI11 only checks and documents it.
void record_from_arguments(int argc, char** argv) {
    for (int i = 1; i < argc && argv[i][0] == '-'; ++i) {
        if (std::strcmp(argv[i], "--record") == 0 && i + 1 < argc) {
            ::setenv("TOLA_RECORD", argv[i + 1], 1);
            return;
        }
        if (std::strncmp(argv[i], "--record=", 9) == 0) {
            ::setenv("TOLA_RECORD", argv[i] + 9, 1);
            return;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    // A reader that went away (a pipe into "tee" ended by Ctrl-C, a closed
    // terminal) is a lost viewer: the writes fail and are dropped, and an
    // update in progress goes on to its end instead of dying of SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    record_from_arguments(argc, argv);
    CLI::App app{"tolactl - talk to a Chromatik instrument through libTOLA_comm"};
    std::string record_file;
    app.add_option("--record", record_file,
                   "write every exchange with the instrument to FILE (as TOLA_RECORD=FILE does)")
        ->option_text("FILE");
    app.require_subcommand(1);
    tolactl::add_version_command(app);
    tolactl::add_structure_commands(app);
    tolactl::add_command_commands(app);
    tolactl::add_bluetooth_commands(app);
    tolactl::add_measurement_commands(app);
    tolactl::add_update_commands(app);
    tolactl::add_settings_commands(app);
    tolactl::add_doctor_command(app);
    tolactl::add_rollback_command(app);
    tolactl::add_list_command(app);
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
