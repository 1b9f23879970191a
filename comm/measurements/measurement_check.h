// Whether the instrument has a new measurement, and fetching it: the same
// check on every link family, each with its own accepted state codes and the
// structures it fetches.
#pragma once

#include "tola_comm.h"

#include <cstdint>
#include <optional>

namespace tola::measurements {

enum class LinkFamily { FirstGenUsb, Usb, Serial, Bluetooth };

// The family of the connection's link: kinds 1 and 4 on an open USB handle,
// 8 and 9 or 10 and 11 on an open serial or Bluetooth handle.
std::optional<LinkFamily> link_family(const PXM_COMM& comm);

// Details flags (bTOLA_comm_poll_set_details).
namespace details_flag {
inline constexpr std::int32_t kInterpretResults = 0x1, kFetchDetails = 0x2, kShortRecord = 0x4;
}

// Event flags of host word 15.
namespace event_flag {
inline constexpr std::uint32_t kMeasurement = 0x2, kEcho = 0x4, kSampleInterval = 0x8;
}

bool state_accepted(LinkFamily family, std::uint32_t state);

struct CheckResult {
    bool ok = false;
    bool echo_pending = false;  // the measurement came with event flag 0x4
};

// only_if_signalled: fetch only when the host block reports a measurement in
// an accepted state; refresh: read the host block first (else the library's
// copy as last read is used).  When a structure cannot be fetched the check
// fails and the event flags stay unacknowledged for the next poll.
CheckResult measurement_check(LinkFamily family, bool only_if_signalled, bool refresh);

// Reads a structure of the connected instrument into its host copy over the
// family's link.
bool fetch_results(LinkFamily family);

}  // namespace tola::measurements
