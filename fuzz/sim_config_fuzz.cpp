// Fuzz target: the virtual instrument's --config file, JSON or key=value lines.
// Every instrument a file describes either validates or names what is wrong.
#include "sim/instrument_config.h"

#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string error;
    const auto configs =
        tola::sim::parse_config_text(std::string_view(reinterpret_cast<const char*>(data), size), &error);
    if (!configs) {
        if (error.empty()) __builtin_trap();  // a refusal says why
        return 0;
    }
    for (const auto& c : *configs) {
        (void)tola::sim::validate(c);
        (void)c.bluetooth_name();
        (void)tola::sim::socket_relative_path(c.socket);
    }
    return 0;
}
