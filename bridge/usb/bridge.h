// Keeps one device server per instrument on the bus: those present at start and
// those that come and go later.  Each gets a socket in the interface-class
// folder of the channel; the first first-generation instrument also answers as
// "ezusb-0".  Hot-plug events are handled on the bridge's own thread, never on
// the USB stack's.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bridge/usb/device_server.h"
#include "bridge/usb/product_table.h"
#include "bridge/usb/usb_backend.h"
#include "platform/record_file.h"

namespace tola::usbd {

inline constexpr const char* kInterfaceClassFolder = "{00873FDF-61A8-11D1-AA5E-00C04FB1728B}";
inline constexpr const char* kEzusbName = "ezusb-0";

struct BridgeOptions {
    std::filesystem::path usb_dir;
    std::vector<ProductProfile> profiles = builtin_profiles();
    std::filesystem::path record_dir = {};  // tola-usbd --record: a record per client connection
    std::uint64_t record_max = os::kRecordMaxDefault;  // --record-max: the size of a record's part
};

struct ServedDevice {
    DeviceInfo info;
    std::string product_name;
    std::vector<std::filesystem::path> sockets;
};

class Bridge {
public:
    Bridge(UsbBackend& backend, BridgeOptions options);
    ~Bridge();
    Bridge(const Bridge&) = delete;
    Bridge& operator=(const Bridge&) = delete;

    // Serves the instruments present now and starts following hot-plug events.
    // Fails when the channel folder cannot be made; a stack without hot-plug
    // events is only warned about.
    bool start(std::string& error);
    void stop();

    std::vector<ServedDevice> served() const;
    // Waits until the served devices satisfy the predicate (for callers that
    // must know a device's socket is there); false after the timeout.
    bool wait_until(const std::function<bool(const std::vector<ServedDevice>&)>& predicate,
                    std::chrono::milliseconds timeout) const;

    // The socket of a device in the interface-class folder.
    std::filesystem::path class_socket(const DeviceInfo& info) const;

private:
    struct Event {
        UsbBackend::Event kind;
        DeviceInfo info;
        bool resync = false;  // compare the servers with the bus as it is now
    };

    void run();
    void arrived(const DeviceInfo& info);
    void left(const DeviceInfo& info);
    void resync();
    void give_ezusb_name();
    std::vector<ServedDevice> served_locked() const;

    UsbBackend& backend_;
    const BridgeOptions options_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::deque<Event> events_;
    bool stopping_ = false;
    std::map<std::string, std::unique_ptr<DeviceServer>> servers_;  // by device key
    std::string ezusb_holder_;
    std::thread thread_;
};

// Socket names from device keys: letters, digits, '-', '.', '_' stay, anything
// else becomes '_'.
std::string socket_name(const std::string& key);

}  // namespace tola::usbd
