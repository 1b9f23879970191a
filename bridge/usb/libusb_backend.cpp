#include "bridge/usb/libusb_backend.h"

#include <libusb.h>

#include <array>
#include <vector>

namespace tola::usbd {
namespace {

std::string key_of(libusb_device* device) {
    std::array<std::uint8_t, 8> ports{};
    const int n = libusb_get_port_numbers(device, ports.data(), static_cast<int>(ports.size()));
    std::string key = "usb-" + std::to_string(libusb_get_bus_number(device)) + "-";
    if (n <= 0) return key + "a" + std::to_string(libusb_get_device_address(device));
    for (int i = 0; i < n; ++i) key += (i ? "." : "") + std::to_string(ports[static_cast<std::size_t>(i)]);
    return key;
}

// The cached descriptors say it; no I/O with the device.
bool has_hub_interface(libusb_device* device) {
    libusb_config_descriptor* config = nullptr;
    if (libusb_get_active_config_descriptor(device, &config) != 0) return false;
    bool hub = false;
    for (int i = 0; i < config->bNumInterfaces && !hub; ++i) {
        const libusb_interface& itf = config->interface[i];
        for (int a = 0; a < itf.num_altsetting; ++a) hub |= itf.altsetting[a].bInterfaceClass == LIBUSB_CLASS_HUB;
    }
    libusb_free_config_descriptor(config);
    return hub;
}

bool info_of(libusb_device* device, DeviceInfo& info) {
    libusb_device_descriptor d{};
    if (libusb_get_device_descriptor(device, &d) != 0) return false;
    info.key = key_of(device);
    info.vendor = d.idVendor;
    info.product = d.idProduct;
    info.release = d.bcdDevice;
    info.hub = d.bDeviceClass == LIBUSB_CLASS_HUB || has_hub_interface(device);
    return true;
}

std::string error_text(int code) {
    switch (code) {
        case LIBUSB_ERROR_ACCESS:
            return "no permission to open the device (install the udev rule 70-tola-usb.rules and plug it in again)";
        case LIBUSB_ERROR_BUSY: return "the interface is in use by another program or driver";
        case LIBUSB_ERROR_NO_DEVICE: return "the device has left the bus";
        case LIBUSB_ERROR_NOT_FOUND: return "the device has no such interface or setting";
        default: return libusb_strerror(static_cast<libusb_error>(code));
    }
}

TransferStatus status_of(int code) {
    switch (code) {
        case LIBUSB_SUCCESS: return TransferStatus::Ok;
        case LIBUSB_ERROR_TIMEOUT: return TransferStatus::Timeout;
        case LIBUSB_ERROR_PIPE: return TransferStatus::Stall;
        case LIBUSB_ERROR_NO_DEVICE: return TransferStatus::Gone;
        default: return TransferStatus::Failed;
    }
}

int LIBUSB_CALL hotplug_callback(libusb_context*, libusb_device* device, libusb_hotplug_event event, void* user) {
    static_cast<LibusbBackend*>(user)->on_hotplug(device, event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED);
    return 0;  // stay registered
}

class LibusbDevice final : public UsbDevice {
public:
    LibusbDevice(libusb_device_handle* handle, int interface_number, std::vector<Endpoint> endpoints)
        : handle_(handle), interface_(interface_number), endpoints_(std::move(endpoints)) {}
    ~LibusbDevice() override {
        libusb_release_interface(handle_, interface_);
        libusb_close(handle_);
    }

    TransferResult read_device_descriptor(std::span<std::uint8_t, 18> out, int timeout_ms) override {
        const int n = libusb_control_transfer(handle_, LIBUSB_ENDPOINT_IN, LIBUSB_REQUEST_GET_DESCRIPTOR,
                                              LIBUSB_DT_DEVICE << 8, 0, out.data(), static_cast<std::uint16_t>(out.size()),
                                              static_cast<unsigned>(timeout_ms));
        if (n < 0) return TransferResult{status_of(n), 0};
        return TransferResult{TransferStatus::Ok, static_cast<std::size_t>(n)};
    }

    std::vector<Endpoint> endpoints() const override { return endpoints_; }

    TransferResult bulk_out(std::uint8_t endpoint, std::span<const std::uint8_t> data, int timeout_ms) override {
        std::vector<std::uint8_t> copy(data.begin(), data.end());  // libusb takes a mutable buffer
        return bulk(endpoint, copy.data(), copy.size(), timeout_ms);
    }

    TransferResult bulk_in(std::uint8_t endpoint, std::span<std::uint8_t> buffer, int timeout_ms) override {
        return bulk(endpoint, buffer.data(), buffer.size(), timeout_ms);
    }

private:
    TransferResult bulk(std::uint8_t endpoint, std::uint8_t* data, std::size_t size, int timeout_ms) {
        int transferred = 0;
        const int rc = libusb_bulk_transfer(handle_, endpoint, data, static_cast<int>(size), &transferred,
                                            static_cast<unsigned>(timeout_ms));
        // A halted endpoint stays halted until cleared; the next request deserves a fresh start.
        if (rc == LIBUSB_ERROR_PIPE) libusb_clear_halt(handle_, endpoint);
        return TransferResult{status_of(rc), static_cast<std::size_t>(transferred < 0 ? 0 : transferred)};
    }

    libusb_device_handle* handle_;
    int interface_;
    std::vector<Endpoint> endpoints_;
};

std::vector<Endpoint> endpoints_in(const libusb_interface_descriptor& alt) {
    std::vector<Endpoint> out;
    for (int i = 0; i < alt.bNumEndpoints; ++i) {
        const auto& e = alt.endpoint[i];
        out.push_back(Endpoint{e.bEndpointAddress, (e.bmAttributes & 0x3) == LIBUSB_TRANSFER_TYPE_BULK,
                               static_cast<std::uint16_t>(e.wMaxPacketSize & 0x7FF)});
    }
    return out;
}

// The endpoints of the setting to use; `alt_setting` receives its number.
std::vector<Endpoint> endpoints_of(libusb_device* device, const OpenOptions& o, int& alt_setting, std::string& error) {
    libusb_config_descriptor* config = nullptr;
    if (const int rc = libusb_get_active_config_descriptor(device, &config); rc != 0) {
        error = "no active configuration: " + error_text(rc);
        return {};
    }
    std::vector<Endpoint> out;
    alt_setting = o.alt_setting;
    if (o.interface_number < config->bNumInterfaces) {
        const libusb_interface& itf = config->interface[o.interface_number];
        int index = -1;
        if (o.choose_setting) {
            std::vector<std::vector<Endpoint>> settings;
            for (int a = 0; a < itf.num_altsetting; ++a) settings.push_back(endpoints_in(itf.altsetting[a]));
            if (!settings.empty()) index = static_cast<int>(o.choose_setting(settings));
        } else {
            for (int a = 0; a < itf.num_altsetting; ++a)
                if (itf.altsetting[a].bAlternateSetting == o.alt_setting) index = a;
        }
        if (index >= 0 && index < itf.num_altsetting) {
            alt_setting = itf.altsetting[index].bAlternateSetting;
            out = endpoints_in(itf.altsetting[index]);
        }
    }
    libusb_free_config_descriptor(config);
    if (out.empty()) error = "interface " + std::to_string(o.interface_number) + " setting " +
                             std::to_string(alt_setting) + " has no endpoints";
    return out;
}

}  // namespace

LibusbBackend::LibusbBackend() {
    if (const int rc = libusb_init(&context_); rc != 0) {
        context_ = nullptr;
        init_error_ = error_text(rc);
    }
}

LibusbBackend::~LibusbBackend() {
    stop_events();
    if (context_) libusb_exit(context_);
}

std::vector<DeviceInfo> LibusbBackend::devices() {
    std::vector<DeviceInfo> out;
    if (!context_) return out;
    libusb_device** list = nullptr;
    const ssize_t n = libusb_get_device_list(context_, &list);
    for (ssize_t i = 0; i < n; ++i) {
        DeviceInfo info;
        if (info_of(list[i], info)) out.push_back(info);
    }
    if (n >= 0) libusb_free_device_list(list, 1);
    return out;
}

libusb_device* LibusbBackend::find(const DeviceInfo& info, std::string& error) {
    if (!context_) {
        error = init_error_;
        return nullptr;
    }
    libusb_device** list = nullptr;
    const ssize_t n = libusb_get_device_list(context_, &list);
    libusb_device* found = nullptr;
    for (ssize_t i = 0; i < n && !found; ++i) {
        DeviceInfo candidate;
        if (info_of(list[i], candidate) && candidate.key == info.key && candidate.vendor == info.vendor &&
            candidate.product == info.product)
            found = libusb_ref_device(list[i]);
    }
    if (n >= 0) libusb_free_device_list(list, 1);
    if (!found) error = "the device has left the bus";
    return found;
}

std::unique_ptr<UsbDevice> LibusbBackend::open(const DeviceInfo& info, const OpenOptions& options, std::string& error) {
    libusb_device* device = find(info, error);
    if (!device) return nullptr;
    int alt_setting = 0;
    std::vector<Endpoint> endpoints = endpoints_of(device, options, alt_setting, error);
    libusb_device_handle* handle = nullptr;
    int rc = endpoints.empty() ? LIBUSB_ERROR_NOT_FOUND : libusb_open(device, &handle);
    libusb_unref_device(device);
    if (endpoints.empty()) return nullptr;
    if (rc != 0) {
        error = error_text(rc);
        return nullptr;
    }
    libusb_set_auto_detach_kernel_driver(handle, 1);
    rc = libusb_claim_interface(handle, options.interface_number);
    if (rc == 0 && alt_setting != 0)
        rc = libusb_set_interface_alt_setting(handle, options.interface_number, alt_setting);
    if (rc != 0) {
        error = "interface " + std::to_string(options.interface_number) + ": " + error_text(rc);
        libusb_release_interface(handle, options.interface_number);
        libusb_close(handle);
        return nullptr;
    }
    return std::make_unique<LibusbDevice>(handle, options.interface_number, std::move(endpoints));
}

std::string LibusbBackend::access_problem(const DeviceInfo& info) {
    std::string error;
    libusb_device* device = find(info, error);
    if (!device) return error;
    libusb_device_handle* handle = nullptr;
    const int rc = libusb_open(device, &handle);
    libusb_unref_device(device);
    if (rc != 0) return error_text(rc);
    libusb_close(handle);
    return {};
}

void LibusbBackend::on_hotplug(libusb_device* device, bool arrived) {
    DeviceInfo info;
    if (handler_ && info_of(device, info)) handler_(arrived ? Event::Arrived : Event::Left, info);
}

bool LibusbBackend::start_events(HotplugHandler handler, std::string& error) {
    if (!context_) {
        error = init_error_;
        return false;
    }
    if (!libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG)) {
        error = "this libusb has no hot-plug support";
        return false;
    }
    handler_ = std::move(handler);
    const int rc = libusb_hotplug_register_callback(
        context_,
        static_cast<libusb_hotplug_event>(LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED | LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT),
        static_cast<libusb_hotplug_flag>(0), LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY,
        LIBUSB_HOTPLUG_MATCH_ANY, hotplug_callback, this, &callback_);
    if (rc != 0) {
        error = error_text(rc);
        return false;
    }
    callback_registered_ = true;
    running_ = true;
    events_ = std::thread([this] {
        while (running_.load()) libusb_handle_events(context_);
    });
    return true;
}

void LibusbBackend::stop_events() {
    if (!running_.exchange(false)) return;
    libusb_interrupt_event_handler(context_);
    if (events_.joinable()) events_.join();
    if (callback_registered_) libusb_hotplug_deregister_callback(context_, callback_);
    callback_registered_ = false;
}

}  // namespace tola::usbd
