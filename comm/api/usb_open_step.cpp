// The USB step of the search: open the driver, read the descriptor and tell
// the instrument by its vendor and product.
#include "comm/api/bounded_string.h"
#include "comm/api/library_state.h"
#include "comm/api/link_steps.h"
#include "comm/api/search_limit.h"
#include "comm/links/usb/boot_mode.h"
#include "comm/links/usb/usb_device.h"
#include "comm/platform/clock.h"
#include "comm/structures/host_copies.h"
#include "comm/structures/structure_transfer.h"

#include <cstring>
#include <string>
#include <vector>

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

// What identifying the device behind hUSB learnt about it.
enum class Found {
    Nothing,       // its descriptor could not be read
    SerialNumber,  // an instrument whose version block was read
    NoSerialNumber,
};

// Identifies the open device by its descriptor and, where it has one, loads
// its structures and fills the record from its version block.  The boot-mode
// handshake is the one step that writes to the device: it is left out when
// writes are not allowed yet.  The result is the step's, as the search has
// always given it.
bool identify(PXM_COMM& c, bool writes_allowed, Found& found) {
    found = Found::Nothing;
    c.tStatus = TOLA_STATUS_USB | TOLA_STATUS_INTERFACED;
    bStr_cpy(c.ssStatus, "USB Open", sizeof c.ssStatus);
    platform::sleep_ms(5);
    if (!usb::read_descriptor()) {
        c.tStatus |= TOLA_STATUS_DESCRIPTOR_FAILED;
        return false;
    }
    platform::sleep_ms(5);
    found = Found::NoSerialNumber;

    if (c.dVID == kRenesasVendor && c.dPID == kRenesasBootProduct) {
        c.iDevice = TOLA_DEVICE_USB_H8SX_BOOT;
        set_name(c.snDevice, "Renesas H8SX\\1653 'boot' mode.");
        if (writes_allowed && !usb::boot_mode_handshake()) c.tStatus |= TOLA_STATUS_TEST_FAILED;
        return true;
    }
    if (c.dVID == kRenesasVendor) {
        set_name(c.snDevice, "Renesas unknown device");
        return true;
    }
    if (c.dVID == kChromatikVendor && c.dPID == kChromatikProduct) {
        c.iDevice = TOLA_DEVICE_USB_CHROMATIK;
        if (structures::load_at_usb_open())
            found = Found::SerialNumber;
        else
            c.tStatus |= TOLA_STATUS_WRONG_DEVICE;
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
        found = Found::SerialNumber;
        set_name(c.snDevice, "Chromatik\xAE Portivo");
        fill_identity(c);
        return true;
    }
    if (c.dVID == kChromatikVendor && c.dPID == kSilentProduct) return true;
    c.tStatus |= TOLA_STATUS_WRONG_DEVICE;
    set_name(c.snDevice, "PXM Unknown Device");
    return false;
}

// Takes the open socket for the record: the reopen goes back to it, and the
// host learns its name.
void take_socket(PXM_COMM& c, const usb::Socket& socket) {
    usb::remember_for_reopen(socket.path);
    c.snRS232[0] = '\0';
    bStr_cpy(c.snRS232, socket.name.c_str(), sizeof c.snRS232);
}

// The search for the instrument the host named: every socket the limit allows
// is looked at in turn, by reads alone.  An instrument whose serial number
// cannot be read is taken only at a socket the host named, just as a search
// without a limit would take it there.  A serial number alone must name one
// instrument: every socket is looked at, and two that answer with it are
// reported instead of taking either (an instrument once given another's
// identity block, or two set up alike).
bool limited_usb_step(PXM_COMM& c, const SearchLimit& limit) {
    if (c.hUSB != -1) usb::close();
    const PXM_COMM before = c;
    const bool whole_bench = limit.wants_serial() && !limit.wants_socket();
    Answering others;
    std::vector<usb::Socket> matching;
    for (const usb::Socket& socket : usb::sockets()) {
        if (!limit.allows_socket(socket.name)) continue;
        c = before;
        if (!usb::open_socket(socket.path)) continue;
        // Only a socket the host named may hold an instrument taken without
        // its serial number; only such a one sees a write before it is taken.
        const bool named = limit.wants_socket() || !limit.wants_serial();
        Found found = Found::Nothing;
        const bool result = identify(c, named, found);
        // The version block itself: the record's field may not take a serial
        // number of the full 25 characters.
        const TNAME& serial = structures::host_copies().version.snSerial_number;
        const bool taken = found == Found::SerialNumber ? !limit.wants_serial() || limit.serial_matches(serial)
                                                        : found == Found::NoSerialNumber && named;
        if (taken && !whole_bench) {
            take_socket(c, socket);
            return result;
        }
        if (taken) matching.push_back(socket);
        else if (found != Found::Nothing) others.add(found == Found::SerialNumber ? &serial : nullptr, socket.name);
        usb::close();
    }
    if (matching.size() == 1) {
        // The one instrument with the serial number, opened again: the
        // structures loaded last belong to whichever socket came last.
        c = before;
        Found found = Found::Nothing;
        if (usb::open_socket(matching.front().path)) {
            const bool result = identify(c, false, found);
            if (found == Found::SerialNumber && limit.serial_matches(structures::host_copies().version.snSerial_number)) {
                take_socket(c, matching.front());
                return result;
            }
            usb::close();
        }
    }
    // Nothing left open, and the record as the step found it: the host's own
    // serial number stays in it, ready for the next limited search.
    c = before;
    c.tStatus = (c.tStatus & ~TOLA_STATUS_INTERFACED) | TOLA_STATUS_USB | TOLA_STATUS_TESTING;
    if (matching.size() > 1) {
        std::string where;
        for (const usb::Socket& s : matching) where += (where.empty() ? "" : ", ") + s.name;
        report_ambiguous(c, limit, where);
        return false;
    }
    if (others.empty()) return false;  // as if nothing were attached
    others.report(c, limit);
    return false;
}

}  // namespace

bool usb_open_step(PXM_COMM& c) {
    library_state().record = &c;
    library_state().stop_state = StopState::Running;
    if ((c.tStatus & TOLA_STATUS_USB) == 0) c.tStatus |= TOLA_STATUS_USB | TOLA_STATUS_TESTING;
    const SearchLimit& limit = search_limit();
    if (limit.active()) return limited_usb_step(c, limit);
    if (c.hUSB == -1 && !usb::search_open_first()) return false;
    Found found = Found::Nothing;
    return identify(c, true, found);
}

void usb_close(PXM_COMM&) { usb::close(); }

bool usb_test(PXM_COMM&) { return usb::test(); }

void usb_reconnect(PXM_COMM&) { usb::reconnect(); }

}  // namespace tola::link_steps
