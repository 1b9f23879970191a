// Fuzz target: lines on the virtual instrument's control socket ("list",
// "journal N", "N trigger", "N echo", "N <fault>"), one input a session of
// lines against a simulator of three instruments, each session a fresh one.
#include "fuzz/support/scratch_file.h"
#include "sim/control_channel.h"
#include "sim/simulator.h"

#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& folder = tola::fuzzing::scratch_folder();
    tola::sim::Simulator simulator(folder + "/usb", folder + "/bt");
    for (int kind : {4, 1, 10}) {
        tola::sim::InstrumentConfig c;
        c.kind = kind;
        c.cpu = kind == 1 ? 0 : 2;
        if (kind == 1) c.layout_release = "CK0A.00.20.00";
        simulator.add(c);
    }
    std::string_view text(reinterpret_cast<const char*>(data), size);
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        const std::string answer = tola::sim::control_command(simulator, line);
        if (answer.empty()) __builtin_trap();  // every line gets an answer
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return 0;
}
