// The USB step of the search: open the driver, read the descriptor and tell
// the instrument by its vendor and product.
#include "comm/api/bounded_string.h"
#include "comm/api/library_state.h"
#include "comm/api/link_steps.h"
#include "comm/links/usb/boot_mode.h"
#include "comm/links/usb/usb_device.h"
#include "comm/platform/clock.h"
#include "comm/structures/host_copies.h"
#include "comm/structures/structure_transfer.h"

#include <cstring>

namespace tola::link_steps {
namespace {

constexpr std::uint32_t kRenesasVendor = 0x045B;
constexpr std::uint32_t kRenesasBootProduct = 0x0025;
constexpr std::uint32_t kChromatikVendor = 0xE1A7;
constexpr std::uint32_t kChromatikProduct = 0x5061;
constexpr std::uint32_t kPortivoProduct = 0x5062;
constexpr std::uint32_t kSilentProduct = 0x5063;

void set_name(TNAME& field, const char* text) { bStr_cpy(field, text, kNameCopySize); }

// Copies a version-block text (at most 25 characters) into a record field.
void copy_version_text(TNAME& field, const TNAME& source) {
    char text[sizeof(TNAME) + 1] = {};
    std::memcpy(text, source, sizeof(TNAME));
    set_name(field, text);
}

void fill_identity(PXM_COMM& c) {
    const COMM_VERSION& v = structures::host_copies().version;
    copy_version_text(c.snVersion, v.snRelease);
    copy_version_text(c.snInterface, v.snVersion);
    copy_version_text(c.snSerial_number, v.snSerial_number);
}

}  // namespace

bool usb_open_step(PXM_COMM& c) {
    library_state().record = &c;
    library_state().stop_state = StopState::Running;
    if ((c.tStatus & TOLA_STATUS_USB) == 0) c.tStatus |= TOLA_STATUS_USB | TOLA_STATUS_TESTING;
    if (c.hUSB == -1 && !usb::search_open_first()) return false;
    c.tStatus = TOLA_STATUS_USB | TOLA_STATUS_INTERFACED;
    bStr_cpy(c.ssStatus, "USB Open", sizeof c.ssStatus);
    platform::sleep_ms(5);
    if (!usb::read_descriptor()) {
        c.tStatus |= TOLA_STATUS_DESCRIPTOR_FAILED;
        return false;
    }
    platform::sleep_ms(5);

    if (c.dVID == kRenesasVendor && c.dPID == kRenesasBootProduct) {
        c.iDevice = TOLA_DEVICE_USB_H8SX_BOOT;
        set_name(c.snDevice, "Renesas H8SX\\1653 'boot' mode.");
        if (!usb::boot_mode_handshake()) c.tStatus |= TOLA_STATUS_TEST_FAILED;
        return true;
    }
    if (c.dVID == kRenesasVendor) {
        set_name(c.snDevice, "Renesas unknown device");
        return true;
    }
    if (c.dVID == kChromatikVendor && c.dPID == kChromatikProduct) {
        c.iDevice = TOLA_DEVICE_USB_CHROMATIK;
        if (!structures::load_at_usb_open()) c.tStatus |= TOLA_STATUS_WRONG_DEVICE;
        set_name(c.snDevice, "Chromatik\xAE");
        fill_identity(c);
        return true;
    }
    if (c.dVID == kChromatikVendor && c.dPID == kPortivoProduct) {
        c.iDevice = TOLA_DEVICE_USB_PORTIVO;
        if (!structures::load_at_usb_open()) {
            c.tStatus |= TOLA_STATUS_WRONG_DEVICE;
            set_name(c.snDevice, "Chromatik\xAE Portivo");
            return false;
        }
        set_name(c.snDevice, "Chromatik\xAE Portivo");
        fill_identity(c);
        return true;
    }
    if (c.dVID == kChromatikVendor && c.dPID == kSilentProduct) return true;
    c.tStatus |= TOLA_STATUS_WRONG_DEVICE;
    set_name(c.snDevice, "PXM Unknown Device");
    return false;
}

void usb_close(PXM_COMM&) { usb::close(); }

bool usb_test(PXM_COMM&) { return usb::test(); }

void usb_reconnect(PXM_COMM&) { usb::reconnect(); }

}  // namespace tola::link_steps
