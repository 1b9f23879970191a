// What the search of the connection needs from each link.  The open steps fill
// the connection record; close and test act on whatever link is open.
#pragma once

#include "tola_comm.h"

namespace tola::link_steps {

bool usb_open_step(PXM_COMM& comm);
bool serial_open_step(PXM_COMM& comm);
bool bluetooth_open_step(PXM_COMM& comm);

void usb_close(PXM_COMM& comm);
void serial_close(PXM_COMM& comm);
void bluetooth_disconnect(PXM_COMM& comm);

// Closes whatever link is still open without writing any record: the links
// keep their own note of what they opened.
void release_links();

bool usb_test(PXM_COMM& comm);
// A fresh USB connection in place of the open one (see usb::reconnect).
void usb_reconnect(PXM_COMM& comm);
bool serial_keep_alive(PXM_COMM& comm);
bool bluetooth_keep_alive(PXM_COMM& comm);

}  // namespace tola::link_steps
