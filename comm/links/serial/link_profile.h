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
    // Waits for bytes look again every quick_poll_ms during the first
    // quick_poll_window_ms of a wait, then every 5 ms.  An answer usually comes
    // within a few milliseconds; looking only every 5 ms left most of those 5 ms
    // idle with the answer already there.
    std::uint32_t quick_poll_ms;
    std::uint32_t quick_poll_window_ms;
};

inline constexpr LinkProfile kSerialProfile{
    .write_mode = WriteMode::ByKind,
    .link_check_window_ms = 200,
    .skip_stray_identify_answers = false,
    .keep_alive_interval_ms = 5000,
    .keep_alive_answer_ms = 2000,
    .missed_answers_until_lost = 2,
    .echo_live_data_applies = true,
    .quick_poll_ms = 5,
    .quick_poll_window_ms = 0,
};

inline constexpr LinkProfile kBluetoothProfile{
    .write_mode = WriteMode::AlwaysWhole,
    .link_check_window_ms = 800,
    .skip_stray_identify_answers = true,
    .keep_alive_interval_ms = 1000,
    .keep_alive_answer_ms = 1000,
    .missed_answers_until_lost = 1,
    .echo_live_data_applies = false,
    .quick_poll_ms = 1,
    .quick_poll_window_ms = 10,
};

}  // namespace tola::serial
