#include "comm/links/usb/usb_device.h"

#include "comm/api/library_state.h"
#include "comm/links/usb/usb_report.h"
#include "comm/links/usb/usb_state.h"
#include "comm/platform/clock.h"
#include "comm/platform/diagnostics.h"
#include "comm/platform/usb_channel.h"
#include "comm/platform/usb_channel_frame.h"

#include <array>
#include <string>
#include <vector>

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
int open_first_device(std::string* path) {
    for (const Socket& s : sockets()) {
        const int handle = platform::usb_open_path(s.path);
        if (handle < 0) continue;
        if (path != nullptr) *path = s.path;
        return handle;
    }
    return -1;
}

void take_handle(PXM_COMM& c, int handle) {
    c.hUSB = handle;
    usb_state().open_handle = handle;
    usb_state().reply_windows = usbchannel::ReplyWindows{};
}

// The device the search took, else (no search took one yet) the first device.
int reopen_device() {
    const auto& remembered = usb_state().search_path;
    if (remembered[0] == '\0') return open_first_device(nullptr);
    return platform::usb_open_path(remembered.data());
}

bool open_handle(int handle) {
    PXM_COMM* c = valid_record();
    if (c == nullptr || handle < 0) {
        platform::usb_close(handle);
        return false;
    }
    take_handle(*c, handle);
    // A new connection lifts an error stop of the previous one.
    library_state().stop_state = StopState::Running;
    return true;
}

// Closes the record's device first: a handle is never left behind.
bool close_open_device() {
    PXM_COMM* c = valid_record();
    if (c == nullptr) return false;
    if (c->hUSB != -1) close();
    return true;
}

}  // namespace

std::vector<Socket> sockets() {
    std::vector<Socket> list;
    for (std::string& path : platform::usb_class_devices()) {
        std::string name = path.substr(path.rfind('/') + 1);
        list.push_back({std::move(name), std::move(path)});
    }
    for (const char* name : {"Chrmtk0-0", "ezusb-0"}) list.push_back({name, platform::usb_channel_dir() + "/" + name});
    return list;
}

bool bUSB_open() { return close_open_device() && open_handle(reopen_device()); }

bool search_open_first() {
    if (!close_open_device()) return false;
    std::string path;
    if (!open_handle(open_first_device(&path))) return false;
    remember_for_reopen(path);
    return true;
}

bool open_socket(const std::string& path) { return close_open_device() && open_handle(platform::usb_open_path(path)); }

void remember_for_reopen(const std::string& path) {
    auto& remembered = usb_state().search_path;
    remembered.fill('\0');
    if (path.size() < remembered.size()) path.copy(remembered.data(), path.size());
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
    const int handle = reopen_device();
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
