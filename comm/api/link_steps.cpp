// Serial and Bluetooth steps of the search.  The open steps are not in this
// build yet: they fail without touching the record, so an automatic search
// runs its course over every port and ends with "Can't find a comm port".
#include "comm/api/link_steps.h"

#include "comm/links/serial/serial_link.h"

namespace tola::link_steps {

bool serial_open_step(PXM_COMM&) { return false; }
bool bluetooth_open_step(PXM_COMM&) { return false; }

void serial_close(PXM_COMM& comm) { serial::close_port(comm); }
void bluetooth_disconnect(PXM_COMM& comm) { comm.hRS232 = -1; }

bool serial_keep_alive(PXM_COMM&) { return serial::keep_alive(); }
bool bluetooth_keep_alive(PXM_COMM&) { return false; }

}  // namespace tola::link_steps
