// chromatik-sim: runs virtual instruments until SIGINT or SIGTERM.
#include <fstream>
#include <iostream>
#include <string_view>
#include <vector>

#include "sim/command_line.h"
#include "sim/control_channel.h"
#include "sim/platform/environment.h"
#include "sim/platform/signals.h"
#include "sim/replay_server.h"
#include "sim/simulator.h"
#include "sim/state_file.h"

int main(int argc, char** argv) {
    using namespace tola::sim;
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    std::string error;
    const auto options = parse_command_line(args, default_usb_dir(), default_bt_dir(), &error);
    if (!options) {
        std::cerr << "chromatik-sim: " << error << "\n(see chromatik-sim --help)\n";
        return 2;
    }
    if (options->help) {
        std::cout << usage_text();
        return 0;
    }
    if (options->tell) {
        const auto answer = ask_control(options->control_socket, *options->tell);
        if (!answer) {
            std::cerr << "chromatik-sim: no answer from " << options->control_socket.string() << '\n';
            return 1;
        }
        std::cout << *answer << '\n';
        return answer->rfind("error", 0) == 0 ? 1 : 0;
    }
    if (options->replay) return run_replay({*options->replay, options->usb_dir, options->bt_dir}, std::cout, std::cerr);

    block_termination_signals();
    try {
        Simulator simulator(options->usb_dir, options->bt_dir);
        for (const auto& config : options->instruments) simulator.add(config);
        simulator.start();
        ControlChannel control(simulator, options->control_socket);
        if (!control.listening()) std::cerr << "chromatik-sim: no control channel: " << control.error() << '\n';

        for (std::size_t i = 0; i < simulator.size(); ++i) {
            const Instrument& inst = simulator.instrument(i);
            const auto& c = inst.config();
            std::cout << "instrument " << i << ": kind " << c.kind;
            if (c.kind == 4) std::cout << " cpu " << c.cpu;
            std::cout << " release " << c.layout_release << " firmware " << inst.firmware() << " serial " << c.serial;
            if (c.serial_link()) std::cout << " serial-port " << inst.serial_path().string() << '\n';
            else if (c.bluetooth_link())
                std::cout << " bluetooth " << inst.bt_address() << " \"" << inst.bt_name() << "\" in "
                          << simulator.bt_dir().string() << '\n';
            else std::cout << " socket " << inst.socket_path().string() << '\n';
        }
        if (!write_state_file(options->state_file, simulator, &error)) std::cerr << "chromatik-sim: " << error << '\n';
        std::cout << "state " << options->state_file.string() << '\n' << std::flush;

        wait_for_termination_signal();
        simulator.stop();
        std::filesystem::remove(options->state_file);

        if (options->journal) {
            std::ofstream file;
            std::ostream* out = &std::cout;
            if (*options->journal != "-") {
                file.open(*options->journal);
                out = &file;
            }
            for (std::size_t i = 0; i < simulator.size(); ++i) {
                *out << "# instrument " << i << '\n';
                simulator.instrument(i).journal().dump(*out);
            }
        }
    } catch (const std::exception& e) {
        std::cerr << "chromatik-sim: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
