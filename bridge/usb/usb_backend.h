// What the bridge needs from a USB stack: the instruments present, hot-plug
// events, and bulk and descriptor transfers on an opened device.  The real stack
// is libusb-1.0 (libusb_backend.h); tests put the virtual instrument behind it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace tola::usbd {

struct Endpoint {
    std::uint8_t address = 0;  // bit 7 set: IN (device to host)
    bool bulk = true;
    std::uint16_t max_packet = 64;  // wMaxPacketSize: bulk reads ask for whole packets
    bool in() const { return (address & 0x80) != 0; }
};

// One device on the bus, as enumeration sees it (no I/O with the device).
struct DeviceInfo {
    std::string key;  // stable while the device stays plugged in the same port, e.g. "1-4.2"
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    std::uint16_t release = 0;  // bcdDevice
    // The device or one of its interfaces is a hub (class 9).  Claiming a hub's
    // interface would detach its driver and drop every device behind it.
    bool hub = false;
};

enum class TransferStatus {
    Ok,
    Timeout,   // the device did not answer within the time-out
    Stall,     // the device refused (endpoint halted)
    Gone,      // the device has left the bus
    Failed,    // anything else (overflow, I/O error)
};

struct TransferResult {
    TransferStatus status = TransferStatus::Failed;
    std::size_t length = 0;  // bytes moved, also on a time-out
    bool ok() const { return status == TransferStatus::Ok; }
};

const char* describe(TransferStatus status);

// An opened device whose interface is claimed.  Closed by destruction.  All
// calls come from the one thread that serves the device.
class UsbDevice {
public:
    virtual ~UsbDevice() = default;
    // The 18 raw bytes of the device descriptor, read from the device.
    virtual TransferResult read_device_descriptor(std::span<std::uint8_t, 18> out, int timeout_ms) = 0;
    // The endpoints of the claimed interface setting, in the order its
    // descriptor lists them.
    virtual std::vector<Endpoint> endpoints() const = 0;
    virtual TransferResult bulk_out(std::uint8_t endpoint, std::span<const std::uint8_t> data, int timeout_ms) = 0;
    virtual TransferResult bulk_in(std::uint8_t endpoint, std::span<std::uint8_t> buffer, int timeout_ms) = 0;
};

struct OpenOptions {
    int interface_number = 0;
    int alt_setting = 0;
    // When given, picks the setting from the endpoints of each of the
    // interface's alternate settings, in descriptor order (an index into that
    // list); alt_setting is then not used.
    std::function<std::size_t(const std::vector<std::vector<Endpoint>>&)> choose_setting;
};

class UsbBackend {
public:
    enum class Event { Arrived, Left };
    using HotplugHandler = std::function<void(Event, const DeviceInfo&)>;

    virtual ~UsbBackend() = default;
    // The devices present now.
    virtual std::vector<DeviceInfo> devices() = 0;
    // Opens the device and claims the interface; null with the reason in `error`.
    virtual std::unique_ptr<UsbDevice> open(const DeviceInfo& device, const OpenOptions& options,
                                            std::string& error) = 0;
    // Why this user could not open the device (empty: it could), without
    // claiming anything.
    virtual std::string access_problem(const DeviceInfo&) { return {}; }
    // Starts delivering hot-plug events on a thread of the backend until
    // stop_events().  Returns false (with the reason) when the stack has none.
    virtual bool start_events(HotplugHandler handler, std::string& error) = 0;
    virtual void stop_events() = 0;
};

}  // namespace tola::usbd
