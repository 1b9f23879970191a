#include "comm/links/usb/usb_device.h"

#include "comm/api/library_state.h"
#include "comm/links/usb/usb_report.h"
#include "comm/links/usb/usb_state.h"
#include "comm/platform/clock.h"
#include "comm/platform/diagnostics.h"
#include "comm/platform/usb_channel.h"
#include "comm/platform/usb_channel_frame.h"

#include <array>

namespace tola::usb {
namespace {

constexpr std::size_t kDescriptorSize = 18;
constexpr std::uint32_t kTestQuietMs = 2000;

}  // namespace

Transfer ioctl(std::uint32_t code, std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
    const PXM_COMM* c = valid_record();
    if (c == nullptr || c->hUSB == -1) return {false, 0};
    const std::span<const std::uint8_t> payload =
        usbchannel::output_is_payload(code) ? std::span<const std::uint8_t>(out) : std::span<const std::uint8_t>();
    const std::uint32_t window = usb_state().reply_windows.window_for(code, in, payload);
    const auto r = platform::usb_ioctl(c->hUSB, code, in, out, window);
    return {r.success, r.bytes_returned};
}

namespace {

// The first device of the interface class, else "\\.\Chrmtk0-0", else "\\.\ezusb-0".
int open_first_device() {
    int handle = -1;
    for (const auto& path : platform::usb_class_devices()) {
        handle = platform::usb_open_path(path);
        if (handle >= 0) return handle;
    }
    handle = platform::usb_open_named("Chrmtk0-0");
    if (handle < 0) handle = platform::usb_open_named("ezusb-0");
    return handle;
}

void take_handle(PXM_COMM& c, int handle) {
    c.hUSB = handle;
    usb_state().open_handle = handle;
    usb_state().reply_windows = usbchannel::ReplyWindows{};
}

}  // namespace

bool bUSB_open() {
    PXM_COMM* c = valid_record();
    if (c == nullptr) return false;
    if (c->hUSB != -1) close();
    const int handle = open_first_device();
    if (handle < 0) return false;
    take_handle(*c, handle);
    // A new connection lifts an error stop of the previous one.
    library_state().stop_state = StopState::Running;
    return true;
}

void close() {
    PXM_COMM* c = valid_record();
    if (c == nullptr || c->hUSB == -1) return;
    platform::usb_close(c->hUSB);
    if (usb_state().open_handle == c->hUSB) usb_state().open_handle = -1;
    report("Closed USB handle", 0);
    c->hUSB = -1;
    c->ssStatus[0] = '\0';
    usb_state().structures_loaded = false;
}

bool reconnect() {
    PXM_COMM* c = valid_record();
    if (c == nullptr || c->hUSB == -1) return false;
    platform::usb_close(c->hUSB);
    if (usb_state().open_handle == c->hUSB) usb_state().open_handle = -1;
    c->hUSB = -1;
    const int handle = open_first_device();
    if (handle < 0) {
        // The next call finds no device open and fails; a search connects again.
        platform::trace("USB: no device to reconnect to after an owner of the interface died");
        usb_state().structures_loaded = false;
        return false;
    }
    take_handle(*c, handle);
    platform::trace("USB: reconnected after an owner of the interface died");
    return true;
}

void release() {
    UsbState& s = usb_state();
    if (s.open_handle == -1) return;
    platform::usb_close(s.open_handle);
    s.open_handle = -1;
    s.structures_loaded = false;
}

bool read_descriptor() {
    PXM_COMM* c = valid_record();
    if (c == nullptr || c->hUSB == -1) return false;
    std::array<std::uint8_t, kDescriptorSize> descriptor{};
    Transfer t = ioctl(usbchannel::kReadDescriptor, {}, descriptor);
    if (!t.ok) t = ioctl(usbchannel::kReadDescriptorEzusb, {}, descriptor);
    if (!t.ok) return false;
    if (t.bytes == kDescriptorSize) {
        c->dVID = static_cast<std::uint32_t>(descriptor[8] | descriptor[9] << 8);
        c->dPID = static_cast<std::uint32_t>(descriptor[10] | descriptor[11] << 8);
        usb_state().release_number = static_cast<std::uint16_t>(descriptor[12] | descriptor[13] << 8);
    }
    return true;
}

bool test() {
    PXM_COMM* c = valid_record();
    if (c == nullptr) return false;
    if (c->hUSB == -1) return report("USB Test - no ptr ", flag::kTest) != 0;
    const auto& last = usb_state().last_success_tick;
    if (last && platform::ms_since(*last) < kTestQuietMs) return true;
    if (!read_descriptor()) return report("USB Test - FAILED - can't read descriptor", flag::kTest) != 0;
    return true;
}

bool open_and_test() {
    const PXM_COMM* c = valid_record();
    if (c == nullptr) return false;
    if (c->hUSB == -1 && !bUSB_open()) return false;
    return test();
}

}  // namespace tola::usb
