// One device served to several clients at once: each client's announced erase
// lengthens only that client's next transfer.
#include "bridge/usb/device_server.h"
#include "bridge/usb/log.h"
#include "comm/platform/usb_channel.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>

namespace tola::usbd {
namespace {

namespace ch = tola::usbchannel;

// A later-generation device that answers every transfer and notes its time-out.
class TimedDevice final : public UsbDevice {
public:
    explicit TimedDevice(std::vector<int>& timeouts, std::mutex& mutex) : timeouts_(timeouts), mutex_(mutex) {}
    TransferResult read_device_descriptor(std::span<std::uint8_t, 18>, int timeout_ms) override { return note(timeout_ms, 18); }
    std::vector<Endpoint> endpoints() const override { return {{0x01, true}, {0x81, true}}; }
    TransferResult bulk_out(std::uint8_t, std::span<const std::uint8_t> data, int timeout_ms) override {
        return note(timeout_ms, data.size());
    }
    TransferResult bulk_in(std::uint8_t, std::span<std::uint8_t> buffer, int timeout_ms) override {
        return note(timeout_ms, std::min<std::size_t>(buffer.size(), 12));
    }

private:
    TransferResult note(int timeout_ms, std::size_t n) {
        std::lock_guard lock(mutex_);
        timeouts_.push_back(timeout_ms);
        return TransferResult{TransferStatus::Ok, n};
    }
    std::vector<int>& timeouts_;
    std::mutex& mutex_;
};

class OneDeviceBus final : public UsbBackend {
public:
    std::vector<DeviceInfo> devices() override { return {}; }
    std::unique_ptr<UsbDevice> open(const DeviceInfo&, const OpenOptions&, std::string&) override {
        return std::make_unique<TimedDevice>(timeouts, mutex);
    }
    bool start_events(HotplugHandler, std::string&) override { return true; }
    void stop_events() override {}
    std::vector<int> timeouts;
    std::mutex mutex;
};

TEST(DeviceServer, AnEraseAnnouncedByOneClientLengthensOnlyThatClientsNextTransfer) {
    char pattern[] = "/tmp/tola-device-server-XXXXXX";
    ASSERT_NE(nullptr, ::mkdtemp(pattern));
    const std::filesystem::path dir = pattern;
    set_log_sink(LogSink::Silent, false);
    OneDeviceBus bus;
    DeviceInfo info;
    info.key = "usb-1-4";
    info.vendor = 0xE1A7;
    info.product = 0x5062;
    const auto profiles = builtin_profiles();
    DeviceServer server(bus, info, *find_profile(profiles, 0xE1A7, 0x5062));
    std::string error;
    ASSERT_TRUE(server.add_socket(dir / "usb-1-4", error)) << error;
    server.start();

    const std::vector<std::uint8_t> erase_block{0, 0, 9, 0, 5, 0, 0, 0, 64, 0, 0, 0};
    std::array<std::uint8_t, 12> reply{};
    const int updating = platform::usb_open_path((dir / "usb-1-4").string());
    ASSERT_GE(updating, 0);
    ASSERT_TRUE(platform::usb_ioctl(updating, ch::kSendBlock, erase_block, {}, 20000).success);
    // A second client arrives and asks something while the first one's erase runs.
    const int other = platform::usb_open_path((dir / "usb-1-4").string());
    ASSERT_GE(other, 0);
    ASSERT_TRUE(platform::usb_ioctl(other, ch::kReceive, {}, reply, 20000).success);
    ASSERT_TRUE(platform::usb_ioctl(updating, ch::kReceive, {}, reply, 20000).success);
    platform::usb_close(other);
    platform::usb_close(updating);
    server.stop();

    const int normal = transfer_timeout_ms(ch::kReceive, PendingWork::None);
    const int erase = transfer_timeout_ms(ch::kReceive, PendingWork::Erase);
    std::lock_guard lock(bus.mutex);
    ASSERT_EQ(3u, bus.timeouts.size());
    EXPECT_EQ(normal, bus.timeouts[1]) << "the other client's request does not wait for the erase";
    EXPECT_EQ(erase, bus.timeouts[2]) << "the updating client's reply still waits for its erase";
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tola::usbd
