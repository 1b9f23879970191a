// Library-wide state of measurement polling.  Touched only under the
// interface mutex; nothing here is reset when a connection closes.
#pragma once

#include "tola_comm.h"

#include <array>
#include <cstdint>

namespace tola::measurements {

// Which link a change word of the data block was last seen on.
enum class ChangeSlot : std::uint8_t { FirstGenUsb, Usb, Serial, Bluetooth };

struct PollState {
    std::uint32_t last_measurement_poll = 0;  // tick of the last measurement poll past the rate limit
    std::uint32_t last_event_poll = 0;        // shared by all later-generation links
    std::uint32_t queue_index = 0;            // last index selected by queue access
    std::int32_t previous_event_mask = 0;     // classic instrument on a serial port
    COMM_USB_HOST host_snapshot{};            // host block as last reported changed
    std::array<std::uint32_t, 4> change_words{};
};

PollState& poll_state();

}  // namespace tola::measurements
