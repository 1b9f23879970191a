// What the bridge finds when it starts: sockets a crashed run left behind, and
// a bus that changes while it takes its first look.
#include "bridge/usb/bridge.h"
#include "bridge/usb/log.h"
#include "platform/private_folder.h"
#include "platform/unix_socket.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace tola::usbd {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

DeviceInfo device(const char* key, std::uint16_t product) {
    DeviceInfo d;
    d.key = key;
    d.vendor = 0xE1A7;
    d.product = product;
    return d;
}

// A bus whose listing can be told what happens right after it is taken.
class ScriptedBus final : public UsbBackend {
public:
    std::vector<DeviceInfo> devices() override {
        std::lock_guard lock(mutex_);
        const auto listed = present;
        if (after_first_listing) {
            auto then = std::move(after_first_listing);
            after_first_listing = nullptr;
            then(*this);
        }
        return listed;
    }
    std::unique_ptr<UsbDevice> open(const DeviceInfo&, const OpenOptions&, std::string& error) override {
        error = "no device here";
        return nullptr;
    }
    bool start_events(HotplugHandler h, std::string&) override {
        handler = std::move(h);
        return true;
    }
    void stop_events() override {}

    std::vector<DeviceInfo> present;
    std::function<void(ScriptedBus&)> after_first_listing;
    HotplugHandler handler;

private:
    std::recursive_mutex mutex_;
};

class BridgeStart : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tola-bridge-start-XXXXXX";
        ASSERT_NE(nullptr, ::mkdtemp(pattern));
        dir_ = pattern;
        set_log_sink(LogSink::Silent, false);
    }
    void TearDown() override {
        bridge_.reset();
        fs::remove_all(dir_);
    }
    fs::path class_folder() const { return dir_ / "usb" / kInterfaceClassFolder; }

    fs::path dir_;
    ScriptedBus bus_;
    std::unique_ptr<Bridge> bridge_;
};

// A socket file whose listener is gone (closed = crashed), or one still served.
os::Fd socket_at(const fs::path& path, bool keep_listening) {
    os::Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strcpy(a.sun_path, path.c_str());
    EXPECT_EQ(0, ::bind(fd.get(), reinterpret_cast<const sockaddr*>(&a), sizeof a));
    EXPECT_EQ(0, ::listen(fd.get(), 1));
    if (!keep_listening) return os::Fd{};
    return fd;
}

TEST_F(BridgeStart, SocketsLeftByACrashedRunAreRemovedAndServedOnesKept) {
    std::string error;
    ASSERT_TRUE(os::make_private_folder(class_folder(), error)) << error;
    socket_at(class_folder() / "usb-3-1", false);
    socket_at(dir_ / "usb" / kEzusbName, false);
    const os::Fd live = socket_at(class_folder() / "sim-other", true);
    bridge_ = std::make_unique<Bridge>(bus_, BridgeOptions{dir_ / "usb"});
    ASSERT_TRUE(bridge_->start(error)) << error;
    EXPECT_FALSE(fs::exists(class_folder() / "usb-3-1"));
    EXPECT_FALSE(fs::exists(dir_ / "usb" / kEzusbName));
    EXPECT_TRUE(fs::exists(class_folder() / "sim-other")) << "someone else's served socket stays";
}

TEST_F(BridgeStart, ADeviceThatLeavesOrArrivesRightAfterTheFirstListingIsNotMisjudged) {
    const DeviceInfo leaving = device("usb-1-1", 0x5062), staying = device("usb-1-2", 0x5062),
                     coming = device("usb-1-3", 0x5063);
    bus_.present = {leaving, staying};
    // The departure and the arrival are reported before the listing's arrivals are queued.
    bus_.after_first_listing = [&](ScriptedBus& bus) {
        bus.present = {staying, coming};
        bus.handler(UsbBackend::Event::Left, leaving);
        bus.handler(UsbBackend::Event::Arrived, coming);
    };
    bridge_ = std::make_unique<Bridge>(bus_, BridgeOptions{dir_ / "usb"});
    std::string error;
    ASSERT_TRUE(bridge_->start(error)) << error;
    const auto keys = [](const std::vector<ServedDevice>& served) {
        std::vector<std::string> k;
        for (const auto& s : served) k.push_back(s.info.key);
        std::sort(k.begin(), k.end());
        return k;
    };
    EXPECT_TRUE(bridge_->wait_until(
        [&](const auto& served) { return keys(served) == std::vector<std::string>{"usb-1-2", "usb-1-3"}; }, 10s))
        << "served: " << ::testing::PrintToString(keys(bridge_->served()));
    EXPECT_FALSE(fs::exists(class_folder() / "usb-1-1")) << "no socket for a device that has gone";
}

}  // namespace
}  // namespace tola::usbd
