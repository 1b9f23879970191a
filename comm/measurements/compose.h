// Composing a COMM_MEASUREMENT from the library's host copies of the last
// measurement (structure identifier 25).
#pragma once

#include "tola_comm.h"

namespace tola::measurements {

enum class ComposeLink { Usb, Serial, Bluetooth };

// Fills `m` by the measurement kind of the details copy; the record is not
// cleared first.  The queue fields come from the host block copy.
void compose_measurement(COMM_MEASUREMENT& m, ComposeLink link);

}  // namespace tola::measurements
