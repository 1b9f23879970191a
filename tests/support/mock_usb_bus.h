// A USB bus made of mock devices, for testing the libusb layer without
// hardware.  umockdev's preload library (the test runs with it in LD_PRELOAD)
// shows libusb a sysfs tree, /dev/bus/usb nodes and udev events of our making;
// the device nodes' usbdevfs calls (claim, submit, reap, discard, clear halt)
// are answered here, the way the kernel answers them, and the bulk traffic is
// handed to a MockUsbFunction that plays the device.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

struct _GMainContext;
struct _GMainLoop;
struct _UMockdevTestbed;
struct _UMockdevIoctlBase;
struct _UMockdevIoctlClient;
struct _UMockdevIoctlData;

namespace tola::testing {

// What a device answers to a bulk IN transfer.
struct InAnswer {
    enum class Kind { Data, Nothing, Stall };
    Kind kind = Kind::Nothing;
    std::vector<std::uint8_t> bytes;

    static InAnswer data(std::vector<std::uint8_t> b) { return {Kind::Data, std::move(b)}; }
    static InAnswer nothing() { return {Kind::Nothing, {}}; }
    static InAnswer stall() { return {Kind::Stall, {}}; }
};

// The device's side of its bulk endpoints.  Called on the bus's thread.
class MockUsbFunction {
public:
    virtual ~MockUsbFunction() = default;
    // A bulk OUT transfer arrived; false stalls the endpoint.
    virtual bool take(std::uint8_t endpoint, std::span<const std::uint8_t> data) = 0;
    // A bulk IN transfer wants at most `capacity` bytes.  Nothing: the transfer
    // stays pending (the device NAKs) until MockUsbDevice::wake() or its time-out.
    virtual InAnswer give(std::uint8_t endpoint, std::size_t capacity) = 0;
};

struct MockUsbDeviceDescription {
    std::string port;  // sysfs name, e.g. "1-4" or "1-2.3" (the hub "1-2" must be plugged first)
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    std::uint16_t release = 0x0100;
    std::uint8_t device_class = 0xFF;
    // When given, the 18 bytes the device reports; vendor, product and release
    // are then taken from them.
    std::vector<std::uint8_t> descriptor;
    // Bulk endpoints of interface 0, setting 0, in descriptor order.
    std::vector<std::uint8_t> endpoints;
    // When given, interface 0 has a setting 1 with these bulk endpoints.
    std::vector<std::uint8_t> setting1_endpoints;
    // Claiming the interface fails with EBUSY (another driver holds it).
    bool interface_busy = false;
};

class MockUsbDevice {
public:
    ~MockUsbDevice();
    MockUsbDevice(const MockUsbDevice&) = delete;
    MockUsbDevice& operator=(const MockUsbDevice&) = delete;

    const MockUsbDeviceDescription& description() const { return description_; }
    const std::string& devnode() const { return devnode_; }
    // The 18-byte device descriptor the device reports.
    std::vector<std::uint8_t> device_descriptor() const;

    // What the host did to the device so far.
    struct Record {
        std::vector<unsigned> claimed;       // interface numbers, in order
        std::vector<unsigned> released;
        std::vector<std::uint8_t> halts_cleared;
        std::vector<std::uint16_t> control_requests;  // bRequestType << 8 | bRequest
        int discarded = 0;                   // pending transfers the host cancelled
        std::vector<unsigned> settings;      // alternate settings the host chose
    };
    Record record() const;

    // Waits until a bulk IN transfer is pending on the device.
    bool wait_for_pending_in(std::chrono::milliseconds limit) const;

private:
    friend class MockUsbBus;
    struct Urb {
        _UMockdevIoctlData* urb = nullptr;
        _UMockdevIoctlData* buffer = nullptr;
    };

    MockUsbDevice(MockUsbDeviceDescription description, std::shared_ptr<MockUsbFunction> function, int devnum);
    std::vector<std::uint8_t> descriptors() const;  // device + configuration, as sysfs shows them
    std::string umockdev_text() const;               // the umockdev text of the device
    static int on_ioctl(_UMockdevIoctlBase* handler, _UMockdevIoctlClient* client, void* device);
    bool handle(_UMockdevIoctlClient* client);
    void submit(_UMockdevIoctlClient* client);
    void reap(_UMockdevIoctlClient* client);
    void discard(_UMockdevIoctlClient* client);
    void control(Urb& u);
    void bulk(Urb& u);
    bool answer_in(Urb& u);
    void complete(Urb& u, int status, std::span<const std::uint8_t> data, std::size_t actual);
    void ask_again();
    void disconnect();

    MockUsbDeviceDescription description_;
    std::shared_ptr<MockUsbFunction> function_;
    int devnum_;
    std::string devnode_;
    std::string syspath_;
    _UMockdevIoctlBase* handler_ = nullptr;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool gone_ = false;
    std::deque<Urb> pending_;    // IN transfers the device has not answered
    std::deque<Urb> completed_;  // waiting to be reaped
    Record record_;
};

class MockUsbBus {
public:
    MockUsbBus();
    ~MockUsbBus();
    MockUsbBus(const MockUsbBus&) = delete;
    MockUsbBus& operator=(const MockUsbBus&) = delete;

    // True when umockdev's preload library is loaded, so that the process and
    // its children see this bus instead of the machine's.
    static bool preloaded();

    // A hub at the port (no traffic), so that devices can sit behind it.
    void add_hub(const std::string& port);
    // Plugs a device in and announces it to udev listeners.
    MockUsbDevice& plug(MockUsbDeviceDescription description, std::shared_ptr<MockUsbFunction> function);
    // Pulls the device: pending transfers end as on a disconnect, every
    // further call on its open handles fails with ENODEV, udev listeners
    // hear of the removal and the device leaves sysfs and /dev.
    void unplug(MockUsbDevice& device);
    // The function has something to say: pending IN transfers ask it again.
    void wake(MockUsbDevice& device);

private:
    void run_on_bus_thread(const std::function<void()>& work);

    _GMainContext* context_ = nullptr;
    _GMainLoop* loop_ = nullptr;
    _UMockdevTestbed* testbed_ = nullptr;
    std::thread thread_;
    std::list<std::unique_ptr<MockUsbDevice>> devices_;  // kept until the bus goes: handles may outlive a plug
    int next_devnum_ = 2;                                 // 1 is the root hub
};

}  // namespace tola::testing
