// The bridge's USB stack on real hardware: libusb-1.0.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "bridge/usb/usb_backend.h"

struct libusb_context;
struct libusb_device;

namespace tola::usbd {

class LibusbBackend final : public UsbBackend {
public:
    LibusbBackend();
    ~LibusbBackend() override;

    // Empty when libusb started; else why there is no USB access at all.
    const std::string& init_error() const { return init_error_; }

    std::vector<DeviceInfo> devices() override;
    std::unique_ptr<UsbDevice> open(const DeviceInfo& device, const OpenOptions& options, std::string& error) override;
    std::string access_problem(const DeviceInfo& device) override;
    bool start_events(HotplugHandler handler, std::string& error) override;
    void stop_events() override;

    // Called by libusb on its event thread.
    void on_hotplug(libusb_device* device, bool arrived);

private:
    libusb_device* find(const DeviceInfo& info, std::string& error);

    libusb_context* context_ = nullptr;
    std::string init_error_;
    HotplugHandler handler_;
    int callback_ = 0;
    bool callback_registered_ = false;
    std::atomic<bool> running_{false};
    std::thread events_;
};

}  // namespace tola::usbd
