// A USB bus made of virtual instruments: every channel socket in a simulator's
// USB folder is a device, its socket appearing and disappearing are hot-plug
// events, and bulk transfers go to the instrument as the channel requests that
// its USB interface turns them into.  The bridge runs on it unchanged.
#pragma once

#include <atomic>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "bridge/usb/usb_backend.h"

namespace tola::sim {
class Simulator;
}

namespace tola::testing {


class SimUsbBackend final : public usbd::UsbBackend {
public:
    explicit SimUsbBackend(std::filesystem::path bus_dir);
    // In the simulator's own process the transfers go to its instruments
    // directly, as a USB stack hands them to the device, without a socket hop;
    // the sockets still tell which devices are on the bus.
    explicit SimUsbBackend(sim::Simulator& simulator);
    ~SimUsbBackend() override;

    std::vector<usbd::DeviceInfo> devices() override;
    std::unique_ptr<usbd::UsbDevice> open(const usbd::DeviceInfo& device, const usbd::OpenOptions& options,
                                          std::string& error) override;
    bool start_events(HotplugHandler handler, std::string& error) override;
    void stop_events() override;

    // The socket behind a device key.
    std::filesystem::path socket_of(const std::string& key) const;
    std::string key_of(const std::filesystem::path& socket) const;

private:
    std::optional<usbd::DeviceInfo> probe(const std::filesystem::path& socket);
    void watch();

    std::filesystem::path bus_dir_;
    sim::Simulator* simulator_ = nullptr;
    std::mutex mutex_;
    std::map<std::string, usbd::DeviceInfo> known_;  // by key, as last probed
    HotplugHandler handler_;
    int inotify_ = -1;
    int stop_event_ = -1;
    int class_watch_ = -1;
    std::thread thread_;
};

}  // namespace tola::testing
