// Link steps of the search.  The links themselves are not in this build yet:
// every open step fails without touching the record, so a search runs its
// course over every port and ends with "Can't find a comm port".
#include "comm/api/link_steps.h"

namespace tola::link_steps {

bool usb_open_step(PXM_COMM&) { return false; }
bool serial_open_step(PXM_COMM&) { return false; }
bool bluetooth_open_step(PXM_COMM&) { return false; }

void usb_close(PXM_COMM& comm) { comm.hUSB = -1; }
void serial_close(PXM_COMM& comm) { comm.hRS232 = -1; }
void bluetooth_disconnect(PXM_COMM& comm) { comm.hRS232 = -1; }

bool usb_test(PXM_COMM&) { return false; }
bool serial_keep_alive(PXM_COMM&) { return false; }
bool bluetooth_keep_alive(PXM_COMM&) { return false; }

}  // namespace tola::link_steps
