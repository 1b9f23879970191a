#include "tests/support/mock_usb_bus.h"

#include <umockdev.h>

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <stdexcept>

namespace tola::testing {
namespace {

// What usbfs tells libusb it can do: whole transfers in one URB, and reaping
// what completed after a disconnect.
constexpr std::uint32_t kCapabilities =
    USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM | USBDEVFS_CAP_REAP_AFTER_DISCONNECT;

constexpr std::size_t kSetupSize = 8;
constexpr std::uint8_t kGetDescriptor = 6;
constexpr std::uint8_t kDeviceDescriptorType = 1;

void put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

std::string hex(const std::vector<std::uint8_t>& bytes) {
    std::string s;
    char digits[3];
    for (const auto b : bytes) {
        std::snprintf(digits, sizeof digits, "%02x", b);
        s += digits;
    }
    return s;
}

std::string hex4(std::uint16_t v) {
    char s[5];
    std::snprintf(s, sizeof s, "%04x", v);
    return s;
}

usbdevfs_urb& urb_of(_UMockdevIoctlData* data) { return *reinterpret_cast<usbdevfs_urb*>(data->data); }

// The parent chain of a port name: "1-2.3" sits in "1-2", which sits in "usb1".
std::string sysfs_path_of(const std::string& port) {
    std::string path = "/devices/pci0000:00/0000:00:14.0/usb1";
    const auto dash = port.find('-');
    std::string prefix = port.substr(0, dash + 1);
    std::string rest = port.substr(dash + 1);
    std::string name = prefix;
    std::size_t start = 0;
    for (;;) {
        const auto dot = rest.find('.', start);
        name = prefix + rest.substr(0, dot);
        path += "/" + name;
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    return path;
}

}  // namespace

// ---------------------------------------------------------------------------
// The device

MockUsbDevice::MockUsbDevice(MockUsbDeviceDescription description, std::shared_ptr<MockUsbFunction> function,
                             int devnum)
    : description_(std::move(description)), function_(std::move(function)), devnum_(devnum) {
    char node[32];
    std::snprintf(node, sizeof node, "/dev/bus/usb/001/%03d", devnum_);
    devnode_ = node;
    syspath_ = "/sys" + sysfs_path_of(description_.port);
    if (description_.descriptor.size() == 18) {
        const auto& bytes = description_.descriptor;
        auto u16 = [&](std::size_t i) { return static_cast<std::uint16_t>(bytes[i] | bytes[i + 1] << 8); };
        description_.device_class = bytes[4];
        description_.vendor = u16(8);
        description_.product = u16(10);
        description_.release = u16(12);
    }
}

MockUsbDevice::~MockUsbDevice() {
    // Transfers the host never reaped (it closed the device first).
    for (auto* queue : {&pending_, &completed_}) {
        for (auto& u : *queue) {
            if (u.buffer) g_object_unref(u.buffer);
            g_object_unref(u.urb);
        }
    }
}

std::vector<std::uint8_t> MockUsbDevice::device_descriptor() const {
    if (description_.descriptor.size() == 18) return description_.descriptor;
    std::vector<std::uint8_t> d{18, kDeviceDescriptorType, 0x00, 0x02, description_.device_class, 0, 0, 64};
    put16(d, description_.vendor);
    put16(d, description_.product);
    put16(d, description_.release);
    d.insert(d.end(), {1, 2, 3, 1});  // string indices, one configuration
    return d;
}

std::vector<std::uint8_t> MockUsbDevice::descriptors() const {
    std::vector<std::uint8_t> d = device_descriptor();
    const bool setting1 = !description_.setting1_endpoints.empty();
    const auto total = static_cast<std::uint16_t>(9 + 9 + 7 * description_.endpoints.size() +
                                                  (setting1 ? 9 + 7 * description_.setting1_endpoints.size() : 0));
    d.insert(d.end(), {9, 2});
    put16(d, total);
    d.insert(d.end(), {1, 1, 0, 0x80, 50});
    d.insert(d.end(), {9, 4, 0, 0, static_cast<std::uint8_t>(description_.endpoints.size()), 0xFF, 0, 0, 0});
    for (const auto e : description_.endpoints) d.insert(d.end(), {7, 5, e, 2, 64, 0, 0});
    if (setting1) {
        const auto count = static_cast<std::uint8_t>(description_.setting1_endpoints.size());
        d.insert(d.end(), {9, 4, 0, 1, count, 0xFF, 0, 0, 0});
        for (const auto e : description_.setting1_endpoints) d.insert(d.end(), {7, 5, e, 2, 64, 0, 0});
    }
    return d;
}

std::string MockUsbDevice::umockdev_text() const {
    const std::string bus = "001", dev = [&] {
        char s[4];
        std::snprintf(s, sizeof s, "%03d", devnum_);
        return std::string(s);
    }();
    std::string t;
    t += "P: " + sysfs_path_of(description_.port) + "\n";
    t += "N: bus/usb/" + bus + "/" + dev + "\n";
    t += "E: DEVNAME=/dev/bus/usb/" + bus + "/" + dev + "\n";
    t += "E: DEVTYPE=usb_device\n";
    t += "E: DRIVER=usb\n";
    t += "E: SUBSYSTEM=usb\n";
    t += "E: BUSNUM=" + bus + "\n";
    t += "E: DEVNUM=" + dev + "\n";
    t += "E: PRODUCT=" + hex4(description_.vendor) + "/" + hex4(description_.product) + "/" +
         hex4(description_.release) + "\n";
    t += "E: MAJOR=189\n";
    t += "E: MINOR=" + std::to_string(devnum_ - 1) + "\n";
    t += "A: busnum=1\n";
    t += "A: devnum=" + std::to_string(devnum_) + "\n";
    t += "A: dev=189:" + std::to_string(devnum_ - 1) + "\n";
    t += "A: idVendor=" + hex4(description_.vendor) + "\n";
    t += "A: idProduct=" + hex4(description_.product) + "\n";
    t += "A: bcdDevice=" + hex4(description_.release) + "\n";
    t += "A: speed=480\n";
    t += "A: bConfigurationValue=1\n";
    t += "A: bNumConfigurations=1\n";
    t += "H: descriptors=" + hex(descriptors()) + "\n";
    return t;
}

MockUsbDevice::Record MockUsbDevice::record() const {
    std::lock_guard lock(mutex_);
    return record_;
}

bool MockUsbDevice::wait_for_pending_in(std::chrono::milliseconds limit) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return !pending_.empty(); });
}

int MockUsbDevice::on_ioctl(_UMockdevIoctlBase*, _UMockdevIoctlClient* client, void* device) {
    return static_cast<MockUsbDevice*>(device)->handle(client) ? TRUE : FALSE;
}

bool MockUsbDevice::handle(_UMockdevIoctlClient* client) {
    std::lock_guard lock(mutex_);
    const gulong request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    GError* error = nullptr;

    // Reads the argument the request points to, as the kernel copies it in.
    auto argument = [&](std::size_t size) -> UMockdevIoctlData* {
        UMockdevIoctlData* d = umockdev_ioctl_data_resolve(arg, 0, size, &error);
        if (error) g_clear_error(&error);
        return d;
    };
    auto finish = [&](long result, int error_number) { umockdev_ioctl_client_complete(client, result, error_number); };
    auto interface_of = [&]() -> unsigned {
        UMockdevIoctlData* d = argument(sizeof(unsigned));
        const unsigned n = d ? *reinterpret_cast<unsigned*>(d->data) : ~0u;
        if (d) g_object_unref(d);
        return n;
    };

    if (request == USBDEVFS_REAPURB || request == USBDEVFS_REAPURBNDELAY) {
        reap(client);
        return true;
    }
    if (gone_) {
        finish(-1, ENODEV);
        return true;
    }
    switch (request) {
        case USBDEVFS_GET_CAPABILITIES: {
            UMockdevIoctlData* d = argument(sizeof(std::uint32_t));
            std::uint32_t caps = kCapabilities;
            umockdev_ioctl_data_update(d, 0, reinterpret_cast<guint8*>(&caps), sizeof caps);
            g_object_unref(d);
            finish(0, 0);
            return true;
        }
        case USBDEVFS_CLAIMINTERFACE: {
            const unsigned n = interface_of();
            if (n != 0) return finish(-1, ENOENT), true;
            if (description_.interface_busy) return finish(-1, EBUSY), true;
            record_.claimed.push_back(n);
            finish(0, 0);
            return true;
        }
        case USBDEVFS_DISCONNECT_CLAIM: {
            UMockdevIoctlData* d = argument(sizeof(usbdevfs_disconnect_claim));
            const unsigned n = reinterpret_cast<usbdevfs_disconnect_claim*>(d->data)->interface;
            g_object_unref(d);
            if (n != 0) return finish(-1, ENOENT), true;
            if (description_.interface_busy) return finish(-1, EBUSY), true;
            record_.claimed.push_back(n);
            finish(0, 0);
            return true;
        }
        case USBDEVFS_SETINTERFACE: {
            UMockdevIoctlData* d = argument(sizeof(usbdevfs_setinterface));
            const auto s = *reinterpret_cast<usbdevfs_setinterface*>(d->data);
            g_object_unref(d);
            const unsigned settings = description_.setting1_endpoints.empty() ? 1 : 2;
            if (s.interface != 0 || s.altsetting >= settings) return finish(-1, EINVAL), true;
            record_.settings.push_back(s.altsetting);
            finish(0, 0);
            return true;
        }
        case USBDEVFS_RELEASEINTERFACE:
            record_.released.push_back(interface_of());
            finish(0, 0);
            return true;
        case USBDEVFS_CLEAR_HALT:
            record_.halts_cleared.push_back(static_cast<std::uint8_t>(interface_of()));
            finish(0, 0);
            return true;
        case USBDEVFS_SUBMITURB:
            submit(client);
            return true;
        case USBDEVFS_DISCARDURB:
            discard(client);
            return true;
        case USBDEVFS_GETDRIVER:
            finish(-1, ENODATA);  // no kernel driver is bound
            return true;
        default:
            finish(-1, ENOTTY);
            return true;
    }
}

void MockUsbDevice::submit(_UMockdevIoctlClient* client) {
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    GError* error = nullptr;
    Urb u;
    u.urb = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), &error);
    if (!u.urb) {
        g_clear_error(&error);
        umockdev_ioctl_client_complete(client, -1, EFAULT);
        return;
    }
    const usbdevfs_urb& urb = urb_of(u.urb);
    if (urb.buffer_length > 0) {
        u.buffer = umockdev_ioctl_data_resolve(u.urb, offsetof(usbdevfs_urb, buffer),
                                               static_cast<gsize>(urb.buffer_length), &error);
        if (error) g_clear_error(&error);
    }
    if (urb.type == USBDEVFS_URB_TYPE_CONTROL) {
        control(u);
    } else if (urb.type == USBDEVFS_URB_TYPE_BULK) {
        bulk(u);
    } else {
        if (u.buffer) g_object_unref(u.buffer);
        g_object_unref(u.urb);
        umockdev_ioctl_client_complete(client, -1, EINVAL);
        return;
    }
    umockdev_ioctl_client_complete(client, 0, 0);
}

void MockUsbDevice::control(Urb& u) {
    const std::uint8_t* setup = u.buffer ? u.buffer->data : nullptr;
    const auto length = static_cast<std::size_t>(urb_of(u.urb).buffer_length);
    if (!setup || length < kSetupSize) return complete(u, -EINVAL, {}, 0);
    record_.control_requests.push_back(static_cast<std::uint16_t>(setup[0] << 8 | setup[1]));
    const std::size_t wanted = static_cast<std::size_t>(setup[6] | setup[7] << 8);
    if (setup[0] == 0x80 && setup[1] == kGetDescriptor && setup[3] == kDeviceDescriptorType) {
        const auto d = device_descriptor();
        const std::size_t n = std::min({wanted, d.size(), length - kSetupSize});
        std::vector<std::uint8_t> reply(setup, setup + kSetupSize);
        reply.insert(reply.end(), d.begin(), d.begin() + static_cast<std::ptrdiff_t>(n));
        return complete(u, 0, reply, n);
    }
    complete(u, -EPIPE, {}, 0);  // the device stalls requests it does not know
}

void MockUsbDevice::bulk(Urb& u) {
    const usbdevfs_urb& urb = urb_of(u.urb);
    if ((urb.endpoint & 0x80) == 0) {
        const std::span<const std::uint8_t> data(u.buffer ? u.buffer->data : nullptr,
                                                 static_cast<std::size_t>(urb.buffer_length));
        const bool taken = function_->take(urb.endpoint, data);
        return complete(u, taken ? 0 : -EPIPE, {}, taken ? data.size() : 0);
    }
    if (!answer_in(u)) {
        pending_.push_back(u);
        changed_.notify_all();
    }
}

bool MockUsbDevice::answer_in(Urb& u) {
    const usbdevfs_urb& urb = urb_of(u.urb);
    InAnswer a = function_->give(urb.endpoint, static_cast<std::size_t>(urb.buffer_length));
    switch (a.kind) {
        case InAnswer::Kind::Nothing: return false;
        case InAnswer::Kind::Stall: complete(u, -EPIPE, {}, 0); return true;
        case InAnswer::Kind::Data: break;
    }
    // More than was asked for is an overflow, as on the wire.
    if (a.bytes.size() > static_cast<std::size_t>(urb.buffer_length)) {
        complete(u, -EOVERFLOW, {}, 0);
        return true;
    }
    complete(u, 0, a.bytes, a.bytes.size());
    return true;
}

void MockUsbDevice::complete(Urb& u, int status, std::span<const std::uint8_t> data, std::size_t actual) {
    usbdevfs_urb& urb = urb_of(u.urb);
    urb.status = status;
    urb.actual_length = static_cast<int>(actual);
    // The copy keeps the client's buffer pointer hidden; update() marks it to be written back.
    umockdev_ioctl_data_update(u.urb, 0, u.urb->data, u.urb->data_len);
    if (u.buffer && !data.empty())
        umockdev_ioctl_data_update(u.buffer, 0, const_cast<guint8*>(data.data()), static_cast<gint>(data.size()));
    completed_.push_back(u);
}

void MockUsbDevice::reap(_UMockdevIoctlClient* client) {
    if (completed_.empty()) {
        umockdev_ioctl_client_complete(client, -1, gone_ ? ENODEV : EAGAIN);
        return;
    }
    Urb u = completed_.front();
    completed_.pop_front();
    GError* error = nullptr;
    UMockdevIoctlData* slot =
        umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(void*), &error);
    if (!slot) {
        g_clear_error(&error);
        umockdev_ioctl_client_complete(client, -1, EFAULT);
        return;
    }
    umockdev_ioctl_data_set_ptr(slot, 0, u.urb);
    g_object_unref(slot);
    g_object_unref(u.urb);
    if (u.buffer) g_object_unref(u.buffer);
    umockdev_ioctl_client_complete(client, 0, 0);
}

void MockUsbDevice::discard(_UMockdevIoctlClient* client) {
    const gulong address = *reinterpret_cast<gulong*>(umockdev_ioctl_client_get_arg(client)->data);
    const auto it = std::find_if(pending_.begin(), pending_.end(),
                                 [&](const Urb& u) { return u.urb->client_addr == address; });
    if (it == pending_.end()) {
        umockdev_ioctl_client_complete(client, -1, EINVAL);
        return;
    }
    Urb u = *it;
    pending_.erase(it);
    ++record_.discarded;
    complete(u, -ENOENT, {}, 0);
    umockdev_ioctl_client_complete(client, 0, 0);
}

void MockUsbDevice::ask_again() {
    std::lock_guard lock(mutex_);
    for (auto it = pending_.begin(); it != pending_.end();) {
        if (answer_in(*it)) it = pending_.erase(it);
        else ++it;
    }
}

void MockUsbDevice::disconnect() {
    std::lock_guard lock(mutex_);
    gone_ = true;
    // The host controller gives back what was in flight.
    for (auto& u : pending_) complete(u, -ESHUTDOWN, {}, 0);
    pending_.clear();
}

// ---------------------------------------------------------------------------
// The bus

bool MockUsbBus::preloaded() {
    const char* preload = std::getenv("LD_PRELOAD");
    return preload && std::strstr(preload, "libumockdev-preload");
}

MockUsbBus::MockUsbBus() {
    context_ = g_main_context_new();
    loop_ = g_main_loop_new(context_, FALSE);
    std::promise<void> running;
    thread_ = std::thread([this, &running] {
        g_main_context_push_thread_default(context_);
        testbed_ = umockdev_testbed_new();
        running.set_value();
        g_main_loop_run(loop_);
        g_main_context_pop_thread_default(context_);
    });
    running.get_future().wait();
    run_on_bus_thread([this] {
        const std::string root =
            "P: /devices/pci0000:00/0000:00:14.0/usb1\n"
            "E: DEVTYPE=usb_device\nE: SUBSYSTEM=usb\nE: BUSNUM=001\nE: DEVNUM=001\n"
            "E: DEVNAME=/dev/bus/usb/001/001\nN: bus/usb/001/001\n"
            "A: busnum=1\nA: devnum=1\nA: idVendor=1d6b\nA: idProduct=0002\nA: bcdDevice=0515\nA: speed=480\n"
            "A: bConfigurationValue=1\nA: bNumConfigurations=1\n"
            "H: descriptors=12010002090001406b1d020015050302010109021900010100e0000904000001090000000705810304000c\n";
        GError* error = nullptr;
        if (!umockdev_testbed_add_from_string(testbed_, root.c_str(), &error)) {
            std::fprintf(stderr, "mock USB bus: %s\n", error->message);
            std::abort();
        }
    });
}

MockUsbBus::~MockUsbBus() {
    run_on_bus_thread([this] {
        for (auto& d : devices_) {
            if (d->handler_) {
                umockdev_testbed_detach_ioctl(testbed_, d->devnode_.c_str(), nullptr);
            }
        }
    });
    g_main_loop_quit(loop_);
    thread_.join();
    for (auto& d : devices_)
        if (d->handler_) g_object_unref(d->handler_);
    g_object_unref(testbed_);
    g_main_loop_unref(loop_);
    g_main_context_unref(context_);
}

void MockUsbBus::run_on_bus_thread(const std::function<void()>& work) {
    struct Call {
        const std::function<void()>* work;
        std::promise<void> done;
    } call{&work, {}};
    g_main_context_invoke(
        context_,
        [](gpointer p) -> gboolean {
            auto* c = static_cast<Call*>(p);
            (*c->work)();
            c->done.set_value();
            return G_SOURCE_REMOVE;
        },
        &call);
    call.done.get_future().wait();
}

void MockUsbBus::add_hub(const std::string& port) {
    MockUsbDeviceDescription description;
    description.port = port;
    description.vendor = 0x05E3;
    description.product = 0x0610;
    description.device_class = 0x09;
    description.endpoints = {0x81};
    auto hub = std::unique_ptr<MockUsbDevice>(new MockUsbDevice(std::move(description), nullptr, next_devnum_++));
    run_on_bus_thread([&] {
        GError* error = nullptr;
        if (!umockdev_testbed_add_from_string(testbed_, hub->umockdev_text().c_str(), &error)) {
            std::fprintf(stderr, "mock USB bus: %s\n", error->message);
            std::abort();
        }
    });
    devices_.push_back(std::move(hub));
}

MockUsbDevice& MockUsbBus::plug(MockUsbDeviceDescription description, std::shared_ptr<MockUsbFunction> function) {
    auto device =
        std::unique_ptr<MockUsbDevice>(new MockUsbDevice(std::move(description), std::move(function), next_devnum_++));
    MockUsbDevice* d = device.get();
    devices_.push_back(std::move(device));
    run_on_bus_thread([&] {
        GError* error = nullptr;
        if (!umockdev_testbed_add_from_string(testbed_, d->umockdev_text().c_str(), &error)) {
            std::fprintf(stderr, "mock USB bus: %s\n", error->message);
            std::abort();
        }
        d->handler_ = umockdev_ioctl_base_new();
        g_signal_connect(d->handler_, "handle-ioctl", G_CALLBACK(&MockUsbDevice::on_ioctl), d);
        if (!umockdev_testbed_attach_ioctl(testbed_, d->devnode_.c_str(), d->handler_, &error)) {
            std::fprintf(stderr, "mock USB bus: %s\n", error->message);
            std::abort();
        }
        umockdev_testbed_uevent(testbed_, d->syspath_.c_str(), "add");
    });
    return *d;
}

void MockUsbBus::unplug(MockUsbDevice& device) {
    device.disconnect();
    run_on_bus_thread([&] {
        umockdev_testbed_uevent(testbed_, device.syspath_.c_str(), "remove");
        umockdev_testbed_remove_device(testbed_, device.syspath_.c_str());
    });
}

void MockUsbBus::wake(MockUsbDevice& device) {
    run_on_bus_thread([&] { device.ask_again(); });
}

}  // namespace tola::testing
