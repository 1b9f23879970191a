// Fuzz target: S-record texts, downloaded to a canned first-generation device.
// The first byte picks a fault, the second the request that meets it (0: none);
// the rest is the text.  Well-formed records run through the coalescing writer
// and the piece writes; malformed ones must stop the download with a message.
#include "comm/api/library_state.h"
#include "comm/links/usb/first_generation.h"
#include "fuzz/support/canned_usb_device.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    // One device for the whole run: it never garbles a reply, so the library keeps it open.
    static auto* device = new tola::fuzz::CannedUsbDevice;
    static PXM_COMM comm = [] {
        PXM_COMM c;
        std::memset(&c, 0, sizeof c);
        c.dSize = sizeof c;
        c.hUSB = device->library_end();
        c.hRS232 = -1;
        return c;
    }();
    tola::library_state().record = &comm;
    tola::library_state().stop_state = tola::StopState::Running;
    device->plan(static_cast<tola::fuzz::UsbFault>(data[0] % static_cast<unsigned>(tola::fuzz::UsbFault::Count)),
                 data[1]);
    tola::usb::first_generation::download_srecords(std::string_view(reinterpret_cast<const char*>(data + 2), size - 2));
    return 0;
}
