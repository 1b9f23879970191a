// The bridge's libusb backend against mock devices: libusb enumerates them
// from sysfs, opens their nodes and moves its transfers through usbdevfs, as
// on a machine with the instruments plugged in.
#include "bridge/usb/libusb_backend.h"
#include "bridge/usb/product_table.h"
#include "tests/support/mock_usb_bus.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <future>
#include <map>
#include <mutex>

namespace tola::testing {
namespace {

using namespace std::chrono_literals;
using usbd::TransferStatus;

constexpr std::uint8_t kOut = 0x01, kIn = 0x81;

// Gives back on its IN endpoint what it took on its OUT endpoint; can be told
// to stall either.
class EchoFunction final : public MockUsbFunction {
public:
    bool take(std::uint8_t, std::span<const std::uint8_t> data) override {
        std::lock_guard lock(mutex_);
        if (stall_out) return false;
        queued_.emplace_back(data.begin(), data.end());
        return true;
    }
    InAnswer give(std::uint8_t, std::size_t) override {
        std::lock_guard lock(mutex_);
        if (stall_in) return InAnswer::stall();
        if (queued_.empty()) return InAnswer::nothing();
        auto bytes = std::move(queued_.front());
        queued_.pop_front();
        return InAnswer::data(std::move(bytes));
    }
    void queue(std::vector<std::uint8_t> bytes) {
        std::lock_guard lock(mutex_);
        queued_.push_back(std::move(bytes));
    }

    std::atomic<bool> stall_out{false};
    std::atomic<bool> stall_in{false};

private:
    std::mutex mutex_;
    std::deque<std::vector<std::uint8_t>> queued_;
};

MockUsbDeviceDescription instrument_at(std::string port, std::uint16_t product = 0x5062) {
    MockUsbDeviceDescription s;
    s.port = std::move(port);
    s.vendor = 0xE1A7;
    s.product = product;
    s.release = 0x0231;
    s.endpoints = {kOut, kIn};
    return s;
}

std::vector<std::uint8_t> pattern(std::size_t n) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return v;
}

class LibusbBackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(MockUsbBus::preloaded()) << "run with LD_PRELOAD=libumockdev-preload.so.0";
        bus_ = std::make_unique<MockUsbBus>();
    }
    void TearDown() override {
        device_.reset();
        backend_.reset();
        bus_.reset();
    }

    usbd::LibusbBackend& backend() {
        if (!backend_) backend_ = std::make_unique<usbd::LibusbBackend>();
        EXPECT_EQ("", backend_->init_error());
        return *backend_;
    }

    std::optional<usbd::DeviceInfo> find(const std::string& key) {
        for (const auto& d : backend().devices())
            if (d.key == key) return d;
        return std::nullopt;
    }

    std::unique_ptr<usbd::UsbDevice> open(const std::string& key, std::string& error, usbd::OpenOptions options = {}) {
        const auto info = find(key);
        if (!info) {
            error = "not enumerated";
            return nullptr;
        }
        return backend().open(*info, options, error);
    }

    // An instrument at port 1-4 that echoes, opened through the backend.
    void plug_and_open() {
        mock_ = &bus_->plug(instrument_at("1-4"), function_);
        std::string error;
        device_ = open("usb-1-4", error);
        ASSERT_TRUE(device_) << error;
    }

    std::unique_ptr<MockUsbBus> bus_;
    std::unique_ptr<usbd::LibusbBackend> backend_;
    std::shared_ptr<EchoFunction> function_ = std::make_shared<EchoFunction>();
    MockUsbDevice* mock_ = nullptr;
    std::unique_ptr<usbd::UsbDevice> device_;
};

TEST_F(LibusbBackendTest, ListsEveryDeviceWithItsPortAndIdentifiers) {
    bus_->add_hub("1-2");
    bus_->plug(instrument_at("1-4"), std::make_shared<EchoFunction>());
    MockUsbDeviceDescription boot = instrument_at("1-2.3");
    boot.vendor = 0x045B;
    boot.product = 0x0025;
    boot.release = 0x0100;
    bus_->plug(boot, std::make_shared<EchoFunction>());
    MockUsbDeviceDescription keyboard;
    keyboard.port = "1-5";
    keyboard.vendor = 0x046D;
    keyboard.product = 0xC31C;
    keyboard.device_class = 0;
    keyboard.endpoints = {0x81};
    bus_->plug(keyboard, std::make_shared<EchoFunction>());

    std::map<std::string, usbd::DeviceInfo> seen;
    for (const auto& d : backend().devices()) seen[d.key] = d;
    ASSERT_TRUE(seen.count("usb-1-4"));
    EXPECT_EQ(0xE1A7, seen["usb-1-4"].vendor);
    EXPECT_EQ(0x5062, seen["usb-1-4"].product);
    EXPECT_EQ(0x0231, seen["usb-1-4"].release);
    ASSERT_TRUE(seen.count("usb-1-2.3")) << "a device behind a hub is keyed by its port chain";
    EXPECT_EQ(0x045B, seen["usb-1-2.3"].vendor);
    EXPECT_EQ(0x0025, seen["usb-1-2.3"].product);
    ASSERT_TRUE(seen.count("usb-1-5"));
    EXPECT_EQ(0x046D, seen["usb-1-5"].vendor);
    EXPECT_EQ("", backend().access_problem(seen["usb-1-4"]));
}

TEST_F(LibusbBackendTest, OpenReadsTheDescriptorFromTheDeviceAndHoldsTheInterface) {
    MockUsbDeviceDescription description = instrument_at("1-4");
    description.endpoints = {0x81, 0x82, 0x02, 0x04};  // the order of the descriptor, not sorted
    MockUsbDevice& mock = bus_->plug(description, std::make_shared<EchoFunction>());
    std::string error;
    {
        auto device = open("usb-1-4", error);
        ASSERT_TRUE(device) << error;
        std::array<std::uint8_t, 18> d{};
        const auto r = device->read_device_descriptor(d, 5000);
        ASSERT_EQ(TransferStatus::Ok, r.status);
        EXPECT_EQ(18u, r.length);
        EXPECT_EQ(mock.device_descriptor(), std::vector<std::uint8_t>(d.begin(), d.end()));

        std::vector<std::uint8_t> order;
        for (const auto& e : device->endpoints()) {
            EXPECT_TRUE(e.bulk);
            order.push_back(e.address);
        }
        EXPECT_EQ(description.endpoints, order);
        EXPECT_EQ(std::vector<unsigned>{0}, mock.record().claimed);
        EXPECT_TRUE(mock.record().released.empty());
        const auto controls = mock.record().control_requests;
        EXPECT_NE(controls.end(), std::find(controls.begin(), controls.end(), 0x8006)) << "GET_DESCRIPTOR went to the device";
    }
    EXPECT_EQ(std::vector<unsigned>{0}, mock.record().released) << "closing gives the interface back";
}

TEST_F(LibusbBackendTest, TheSettingWithTheTablesEndpointsIsChosen) {
    MockUsbDeviceDescription description = instrument_at("1-4");
    description.product = 0x5061;
    description.endpoints = {};                                 // setting 0: nothing to drive
    description.setting1_endpoints = {0x81, 0x82, 0x02, 0x04};  // the first generation's pipes in setting 1
    MockUsbDevice& mock = bus_->plug(description, std::make_shared<EchoFunction>());
    const auto profiles = usbd::builtin_profiles();
    usbd::OpenOptions options;
    options.choose_setting = [&](const std::vector<std::vector<usbd::Endpoint>>& settings) {
        return usbd::choose_alt_setting(*usbd::find_profile(profiles, 0xE1A7, 0x5061), settings);
    };
    std::string error;
    auto device = open("usb-1-4", error, options);
    ASSERT_TRUE(device) << error;
    EXPECT_EQ(std::vector<unsigned>{1}, mock.record().settings);
    std::vector<std::uint8_t> order;
    for (const auto& e : device->endpoints()) {
        order.push_back(e.address);
        EXPECT_EQ(64, e.max_packet);
    }
    EXPECT_EQ(description.setting1_endpoints, order);
}

TEST_F(LibusbBackendTest, BulkTransfersReachTheDeviceAndComeBackWhole) {
    ASSERT_NO_FATAL_FAILURE(plug_and_open());

    for (const std::size_t size : {std::size_t{1}, std::size_t{64}, std::size_t{4100}}) {
        const auto sent = pattern(size);
        const auto out = device_->bulk_out(kOut, sent, 5000);
        ASSERT_EQ(TransferStatus::Ok, out.status) << size;
        EXPECT_EQ(size, out.length);
        std::vector<std::uint8_t> in(8192);
        const auto r = device_->bulk_in(kIn, in, 5000);
        ASSERT_EQ(TransferStatus::Ok, r.status) << size;
        ASSERT_EQ(size, r.length);
        in.resize(r.length);
        EXPECT_EQ(sent, in);
    }
}

TEST_F(LibusbBackendTest, AStallIsReportedAndTheEndpointClearedForTheNextTransfer) {
    ASSERT_NO_FATAL_FAILURE(plug_and_open());

    function_->stall_out = true;
    EXPECT_EQ(TransferStatus::Stall, device_->bulk_out(kOut, pattern(8), 5000).status);
    function_->stall_in = true;
    std::vector<std::uint8_t> in(64);
    EXPECT_EQ(TransferStatus::Stall, device_->bulk_in(kIn, in, 5000).status);
    EXPECT_EQ((std::vector<std::uint8_t>{kOut, kIn}), mock_->record().halts_cleared);

    function_->stall_out = false;
    function_->stall_in = false;
    EXPECT_EQ(TransferStatus::Ok, device_->bulk_out(kOut, pattern(8), 5000).status);
    EXPECT_EQ(TransferStatus::Ok, device_->bulk_in(kIn, in, 5000).status);
}

TEST_F(LibusbBackendTest, ASilentDeviceTimesOutAndTheTransferIsWithdrawn) {
    ASSERT_NO_FATAL_FAILURE(plug_and_open());

    std::vector<std::uint8_t> in(64);
    const auto r = device_->bulk_in(kIn, in, 100);
    EXPECT_EQ(TransferStatus::Timeout, r.status);
    EXPECT_EQ(0u, r.length);
    EXPECT_EQ(1, mock_->record().discarded);

    // What the device says next goes to the next transfer, not to the withdrawn one.
    function_->queue({1, 2, 3});
    const auto next = device_->bulk_in(kIn, in, 5000);
    ASSERT_EQ(TransferStatus::Ok, next.status);
    EXPECT_EQ(3u, next.length);
    EXPECT_EQ(1, in[0]);
}

TEST_F(LibusbBackendTest, AnAnswerThatComesLaterCompletesThePendingTransfer) {
    ASSERT_NO_FATAL_FAILURE(plug_and_open());

    std::vector<std::uint8_t> in(64);
    auto pending = std::async(std::launch::async, [&] { return device_->bulk_in(kIn, in, 10000); });
    ASSERT_TRUE(mock_->wait_for_pending_in(10s));
    function_->queue({9, 8, 7, 6});
    bus_->wake(*mock_);
    const auto r = pending.get();
    ASSERT_EQ(TransferStatus::Ok, r.status);
    EXPECT_EQ(4u, r.length);
    EXPECT_EQ(9, in[0]);
    EXPECT_EQ(0, mock_->record().discarded);
}

TEST_F(LibusbBackendTest, ABusyInterfaceIsRefusedWithTheReason) {
    MockUsbDeviceDescription description = instrument_at("1-4");
    description.interface_busy = true;
    bus_->plug(description, std::make_shared<EchoFunction>());
    std::string error;
    EXPECT_FALSE(open("usb-1-4", error));
    EXPECT_NE(std::string::npos, error.find("in use by another program")) << error;
}

TEST_F(LibusbBackendTest, AMissingInterfaceIsRefusedBeforeTheDeviceIsTouched) {
    MockUsbDevice& mock = bus_->plug(instrument_at("1-4"), std::make_shared<EchoFunction>());
    std::string error;
    EXPECT_FALSE(open("usb-1-4", error, usbd::OpenOptions{1, 0, {}}));
    EXPECT_NE(std::string::npos, error.find("interface 1 setting 0 has no endpoints")) << error;
    EXPECT_FALSE(open("usb-1-4", error, usbd::OpenOptions{0, 2, {}}));
    EXPECT_TRUE(mock.record().claimed.empty());
}

TEST_F(LibusbBackendTest, AnUnpluggedDeviceFailsItsNextTransferAsGone) {
    ASSERT_NO_FATAL_FAILURE(plug_and_open());
    const auto info = find("usb-1-4");
    ASSERT_TRUE(info);

    bus_->unplug(*mock_);
    EXPECT_EQ(TransferStatus::Gone, device_->bulk_out(kOut, pattern(8), 5000).status);
    std::vector<std::uint8_t> in(64);
    EXPECT_EQ(TransferStatus::Gone, device_->bulk_in(kIn, in, 5000).status);
    device_.reset();

    EXPECT_FALSE(find("usb-1-4"));
    std::string error;
    EXPECT_FALSE(backend().open(*info, {}, error));
    EXPECT_NE(std::string::npos, error.find("left the bus")) << error;
}

TEST_F(LibusbBackendTest, UnpluggingDuringATransferEndsItAsGone) {
    ASSERT_NO_FATAL_FAILURE(plug_and_open());

    std::vector<std::uint8_t> in(64);
    auto pending = std::async(std::launch::async, [&] { return device_->bulk_in(kIn, in, 10000); });
    ASSERT_TRUE(mock_->wait_for_pending_in(10s));
    bus_->unplug(*mock_);
    EXPECT_EQ(TransferStatus::Gone, pending.get().status);
}

TEST_F(LibusbBackendTest, HotplugReportsArrivalAndRemovalWithTheSameKey) {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::pair<usbd::UsbBackend::Event, usbd::DeviceInfo>> events;
    std::string error;
    ASSERT_TRUE(backend().start_events(
        [&](usbd::UsbBackend::Event e, const usbd::DeviceInfo& d) {
            std::lock_guard lock(mutex);
            events.emplace_back(e, d);
            changed.notify_all();
        },
        error))
        << error;
    auto wait_for = [&](std::size_t n) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 10s, [&] { return events.size() >= n; });
    };

    MockUsbDevice& mock = bus_->plug(instrument_at("1-6", 0x5063), std::make_shared<EchoFunction>());
    ASSERT_TRUE(wait_for(1));
    bus_->unplug(mock);
    ASSERT_TRUE(wait_for(2));
    backend().stop_events();

    std::lock_guard lock(mutex);
    ASSERT_EQ(2u, events.size());
    EXPECT_EQ(usbd::UsbBackend::Event::Arrived, events[0].first);
    EXPECT_EQ("usb-1-6", events[0].second.key);
    EXPECT_EQ(0x5063, events[0].second.product);
    EXPECT_EQ(usbd::UsbBackend::Event::Left, events[1].first);
    EXPECT_EQ("usb-1-6", events[1].second.key);
    EXPECT_EQ(0xE1A7, events[1].second.vendor);
}

}  // namespace
}  // namespace tola::testing
