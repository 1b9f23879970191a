#include "comm/api/link_steps.h"
#include "comm/links/bluetooth/bt_link.h"
#include "comm/links/serial/serial_link.h"
#include "comm/links/usb/usb_device.h"

namespace tola::link_steps {

void release_links() {
    usb::release();
    serial::release_port();
    bluetooth::release();
}

}  // namespace tola::link_steps
