// Serves one device's channel sockets on a thread of its own, so that a slow or
// silent device holds up only its own clients.  The device is opened and its
// interface claimed while at least one client is connected.
#pragma once

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bridge/usb/channel_socket.h"
#include "bridge/usb/exchange_record.h"
#include "bridge/usb/request_mapper.h"
#include "bridge/usb/usb_backend.h"

namespace tola::usbd {

class DeviceServer {
public:
    DeviceServer(UsbBackend& backend, DeviceInfo info, ProductProfile profile);
    ~DeviceServer();
    DeviceServer(const DeviceServer&) = delete;
    DeviceServer& operator=(const DeviceServer&) = delete;

    // Listens at the path as well (also while serving).
    bool add_socket(const std::filesystem::path& path, std::string& error);
    // Stops listening at the path and removes it.
    void remove_socket(const std::filesystem::path& path);
    // Before start: every client connection is recorded in a file of its own in
    // dir (socket paths written below usb_dir), in parts of max_bytes (0: no limit).
    void record_to(std::filesystem::path dir, std::filesystem::path usb_dir, std::uint64_t max_bytes);
    void start();
    // Ends every connection, closes the device and removes the sockets.
    void stop();

    const DeviceInfo& info() const { return info_; }
    const ProductProfile& profile() const { return mapper_.profile(); }
    std::vector<std::filesystem::path> sockets() const;

private:
    struct Listener {
        std::filesystem::path path;
        Fd fd;
    };
    struct Connection {
        Fd fd;
        bool closing = false;
        PendingWork pending = PendingWork::None;  // this client's announced erase
        std::unique_ptr<ExchangeRecord> record;
    };

    void run();
    void serve(Connection& c);
    void accept_all(const Listener& listener);
    usbchannel::Reply carry(const usbchannel::Request& request, PendingWork& pending);
    void close_device();
    std::string name() const;

    UsbBackend& backend_;
    const DeviceInfo info_;
    RequestMapper mapper_;
    std::unique_ptr<UsbDevice> device_;
    bool open_failure_reported_ = false;
    std::filesystem::path record_dir_;  // empty: no records
    std::filesystem::path usb_dir_;
    std::uint64_t record_max_ = 0;

    mutable std::mutex mutex_;  // guards listeners_ between the serving thread and the owner
    std::vector<Listener> listeners_;
    std::vector<std::unique_ptr<Connection>> connections_;
    WakeEvent wake_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace tola::usbd
