// The program's command line.
#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/instrument_config.h"

namespace tola::sim {

struct ProgramOptions {
    std::filesystem::path usb_dir;
    std::filesystem::path bt_dir;
    std::filesystem::path state_file;
    std::filesystem::path control_socket;
    std::optional<std::filesystem::path> journal;  // "-" for standard output
    std::optional<std::filesystem::path> persist_dir;  // instruments kept across runs
    std::vector<InstrumentConfig> instruments;
    std::optional<std::filesystem::path> replay;  // serve this record instead of instruments
    bool help = false;
    // Not a simulator: send this line to the control socket of a running one.
    std::optional<std::string> tell;
};

// usb_dir is the default folder of the channel when --usb-dir is not given,
// bt_dir that of the Bluetooth registrations when --bt-dir is not given.
std::optional<ProgramOptions> parse_command_line(std::span<const std::string_view> args,
                                                 const std::filesystem::path& default_usb_dir, std::string* error);
std::optional<ProgramOptions> parse_command_line(std::span<const std::string_view> args,
                                                 const std::filesystem::path& default_usb_dir,
                                                 const std::filesystem::path& default_bt_dir, std::string* error);
std::string usage_text();

}  // namespace tola::sim
