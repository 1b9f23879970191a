// tolactl - command-line access to a Chromatik instrument through libTOLA_comm.
#include "cmd_doctor.h"
#include "commands.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "platform/record_file.h"

namespace {

// The library opens its record on first use, before any command's callback
// could set the variables, so --record and --record-max are taken from the
// words before the command here; CLI11 only checks and documents them.
void record_from_arguments(int argc, char** argv) {
    for (int i = 1; i < argc && argv[i][0] == '-'; ++i) {
        for (const auto& [option, variable] : {std::pair{"--record", "TOLA_RECORD"},
                                               std::pair{"--record-max", "TOLA_RECORD_MAX"}}) {
            const std::size_t n = std::strlen(option);
            if (std::strcmp(argv[i], option) == 0 && i + 1 < argc) {
                ::setenv(variable, argv[++i], 1);
                break;
            }
            if (std::strncmp(argv[i], option, n) == 0 && argv[i][n] == '=') ::setenv(variable, argv[i] + n + 1, 1);
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
    std::string record_max;
    app.add_option("--record-max", record_max,
                   "size of a record file before it goes on in FILE.1, FILE.2, ... (the newest four kept): bytes, "
                   "or with K, M or G; 0 for no limit (as TOLA_RECORD_MAX=SIZE does; default 64M)")
        ->option_text("SIZE")
        ->check([](const std::string& text) {
            return tola::os::parse_record_size(text) ? std::string()
                                                     : "not a size (such as 64M or 512K, at least 1K; 0 for no limit)";
        });
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
