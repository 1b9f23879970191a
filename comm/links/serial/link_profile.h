// The ways in which the byte-stream links differ.  The serial port and the
// Bluetooth client run one packet protocol; everything that is not the same
// on both is a field here, so a transport is its stream plus its profile.
#pragma once

#include <cstdint>

namespace tola::serial {

enum class WriteMode {
    // Whole buffer for kinds 8 and 9; byte by byte, each byte a progress step,
    // for the classic instrument (and while the kind is not known yet).
    ByKind,
    AlwaysWhole,
};

struct LinkProfile {
    WriteMode write_mode;
    std::uint32_t link_check_window_ms;
    // A 230 or 231 that arrives while another acknowledgement is awaited is
    // skipped (true) or fails as an unknown command (false).
    bool skip_stray_identify_answers;
    std::uint32_t keep_alive_interval_ms;
    std::uint32_t keep_alive_answer_ms;
    int missed_answers_until_lost;
    // Only the classic instrument on a serial port streams live data that the
    // link check has to switch off and on again.
    bool echo_live_data_applies;
};

inline constexpr LinkProfile kSerialProfile{
    .write_mode = WriteMode::ByKind,
    .link_check_window_ms = 200,
    .skip_stray_identify_answers = false,
    .keep_alive_interval_ms = 5000,
    .keep_alive_answer_ms = 2000,
    .missed_answers_until_lost = 2,
    .echo_live_data_applies = true,
};

inline constexpr LinkProfile kBluetoothProfile{
    .write_mode = WriteMode::AlwaysWhole,
    .link_check_window_ms = 800,
    .skip_stray_identify_answers = true,
    .keep_alive_interval_ms = 1000,
    .keep_alive_answer_ms = 1000,
    .missed_answers_until_lost = 1,
    .echo_live_data_applies = false,
};

}  // namespace tola::serial
