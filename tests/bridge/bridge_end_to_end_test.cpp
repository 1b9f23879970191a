// The library reaching virtual instruments through the bridge: library ->
// channel socket -> bridge -> USB transfers -> the instrument's USB interface.
// Every USB kind connects with the identity it shows without the bridge, and
// devices come and go, fall silent and meet bad clients while the library is
// connected.
#include "bridge/usb/bridge.h"
#include "bridge/usb/log.h"
#include "sim/platform/channel_client.h"
#include "tests/integration/sim_fixture.h"
#include "tests/support/sim_usb_backend.h"

#include <atomic>
#include <future>
#include <thread>

namespace tola::testing {
namespace {

namespace ch = tola::usbchannel;
using namespace std::chrono_literals;

struct Identity {
    std::uint32_t device, vid, pid, status;
    std::string name, version, interface, serial;
    int cpu;
    bool operator==(const Identity&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Identity& i) {
    return os << "kind " << i.device << " " << std::hex << i.vid << ":" << i.pid << " status " << i.status << std::dec
              << " '" << i.name << "' '" << i.version << "' '" << i.interface << "' '" << i.serial << "' cpu " << i.cpu;
}

class BridgeEndToEnd : public SimTest {
protected:
    void TearDown() override {
        if (library_state().record == &comm_) {
            TOLA_comm_close();
            library_state().record = nullptr;
        }
        bridge_.reset();
        backend_.reset();
        SimTest::TearDown();
    }

    std::filesystem::path bus() const { return dir_ / "bus"; }
    std::filesystem::path channel() const { return dir_ / "usb"; }

    void start_bus(std::vector<sim::InstrumentConfig> configs) {
        sim_ = std::make_unique<sim::Simulator>(bus(), dir_ / "bt");
        for (auto& c : configs) sim_->add(std::move(c));
        sim_->start();
    }

    void start_bridge(std::size_t expected_devices) {
        backend_ = std::make_unique<SimUsbBackend>(*sim_);
        bridge_ = std::make_unique<usbd::Bridge>(*backend_, usbd::BridgeOptions{channel()});
        std::string error;
        ASSERT_TRUE(bridge_->start(error)) << error;
        ASSERT_TRUE(served_count_becomes(expected_devices));
    }

    bool served_count_becomes(std::size_t n) {
        return bridge_->wait_until([n](const auto& served) { return served.size() == n; }, 5s);
    }

    std::filesystem::path bridge_socket(const sim::Instrument& instrument) const {
        return channel() / usbd::kInterfaceClassFolder / ("sim-" + instrument.socket_path().filename().string());
    }

    Identity identity() {
        int32_t cpu = 0;
        bTOLA_comm_GetCpuType(&cpu);
        return Identity{comm_.iDevice,  comm_.dVID,       comm_.dPID,          comm_.tStatus, comm_.snDevice,
                        comm_.snVersion, comm_.snInterface, comm_.snSerial_number, cpu};
    }

    Identity connect_through(const std::filesystem::path& usb_dir) {
        ::setenv("TOLA_USB_DIR", usb_dir.c_str(), 1);
        EXPECT_EQ(1, connect());
        Identity id = identity();
        TOLA_comm_close();
        return id;
    }

    std::unique_ptr<SimUsbBackend> backend_;
    std::unique_ptr<usbd::Bridge> bridge_;
};

struct KindCase {
    int kind;
    int cpu;
};

class EveryUsbKind : public BridgeEndToEnd, public ::testing::WithParamInterface<KindCase> {};

TEST_P(EveryUsbKind, ConnectsWithTheIdentityItShowsWithoutTheBridge) {
    sim::InstrumentConfig c = config(GetParam().kind, GetParam().cpu, "CK0A.00.20.00");
    if (c.kind == 4) c.layout_release = "CK0A.00.31.00";
    c.serial = "H5" + std::to_string(GetParam().kind) + std::to_string(GetParam().cpu);
    start_bus({c});
    start_bridge(1);

    const Identity direct = connect_through(bus());
    const Identity bridged = connect_through(channel());
    EXPECT_EQ(direct, bridged);
    EXPECT_EQ(static_cast<std::uint32_t>(GetParam().kind), bridged.device);
    EXPECT_EQ(0u, bridged.status & TOLA_STATUS_HARD_FAILURES) << bridged;
}

INSTANTIATE_TEST_SUITE_P(Bridge, EveryUsbKind,
                         ::testing::Values(KindCase{1, 2}, KindCase{3, 2}, KindCase{4, 1}, KindCase{4, 2}),
                         [](const auto& p) {
                             return "kind" + std::to_string(p.param.kind) + "cpu" + std::to_string(p.param.cpu);
                         });

TEST_F(BridgeEndToEnd, FirstGenerationAlsoAnswersAsTheEzusbDriver) {
    start_bus({config(1, 2, "CK0A.00.20.00"), config(4)});
    start_bridge(2);
    EXPECT_TRUE(std::filesystem::exists(channel() / "ezusb-0"));
    EXPECT_TRUE(std::filesystem::exists(channel() / usbd::kInterfaceClassFolder / "sim-ezusb-0"));
    EXPECT_TRUE(std::filesystem::exists(channel() / usbd::kInterfaceClassFolder / "sim-dev0"));

    auto client = sim::ChannelClient::connect(channel() / "ezusb-0");
    ASSERT_TRUE(client);
    const auto reply = client->call(ch::kReadDescriptorEzusb, {}, 18);
    ASSERT_TRUE(reply && reply->success);
    EXPECT_EQ(0x61, reply->output[10]);
    EXPECT_EQ(0x50, reply->output[11]);
}

TEST_F(BridgeEndToEnd, AFlashSectorIsErasedAndWrittenThroughTheBridge) {
    start_bus({config(4)});
    sim::Instrument& instrument = sim_->instrument(0);
    start_bridge(1);
    ::setenv("TOLA_USB_DIR", channel().c_str(), 1);
    ASSERT_EQ(1, connect());
    ASSERT_EQ(1, bTOLA_comm_Controller_command(11, 0));
    ASSERT_EQ(1, bTOLA_comm_Controller_command(9, 11));
    std::vector<std::uint8_t> data(256);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
    ASSERT_EQ(1, bTOLA_comm_Controller_write(data.data(), 0x080E0000, 128, 10));
    ASSERT_EQ(1, bTOLA_comm_Controller_write(data.data() + 128, 0x080E0080, 128, 10));
    EXPECT_EQ(data, instrument.peek(0x080E0000, 256));
    EXPECT_EQ(1u, instrument.journal().count(sim::EventKind::Erase));
}

TEST_F(BridgeEndToEnd, DevicesComeAndGoWhileTheLibraryIsConnected) {
    sim::InstrumentConfig second = config(4);
    second.serial = "H59999";
    second.faults = {"unplug"};
    start_bus({config(4), second});
    sim::Instrument& first = sim_->instrument(0);
    sim::Instrument& later = sim_->instrument(1);
    start_bridge(1);
    ::setenv("TOLA_USB_DIR", channel().c_str(), 1);
    ASSERT_EQ(1, connect());
    std::array<std::uint8_t, 32> bytes{};

    // Plugged in while the library works with the first: served, and the first goes on.
    later.replug();
    ASSERT_TRUE(served_count_becomes(2));
    EXPECT_TRUE(std::filesystem::exists(bridge_socket(later)));
    EXPECT_EQ(1, bTOLA_comm_Controller_read(bytes.data(), 0x20000000, 32));

    // The connected one is pulled: its socket goes, requests fail, the other stays.
    first.unplug();
    ASSERT_TRUE(bridge_->wait_until(
        [&](const auto& served) { return served.size() == 1 && served[0].info.key == "sim-dev1"; }, 5s));
    EXPECT_FALSE(std::filesystem::exists(bridge_socket(first)));
    EXPECT_EQ(0, bTOLA_comm_Controller_read(bytes.data(), 0x20000000, 32));
    TOLA_comm_close();
    ASSERT_EQ(1, connect());
    EXPECT_STREQ("H59999", comm_.snSerial_number);

    // Back again: served under its old name.
    first.replug();
    ASSERT_TRUE(served_count_becomes(2));
    EXPECT_TRUE(std::filesystem::exists(bridge_socket(first)));
}

TEST_F(BridgeEndToEnd, ASilentDeviceFailsItsOwnRequestOnly) {
    start_bus({config(4), config(4)});
    sim::Instrument& silent = sim_->instrument(0);
    start_bridge(2);
    ::setenv("TOLA_USB_DIR", channel().c_str(), 1);
    ASSERT_EQ(1, connect());  // the first socket in name order: the one that falls silent
    ASSERT_EQ("dev0", silent.socket_path().filename());

    silent.stay_silent(1, 10s);
    std::atomic<bool> library_done{false};
    auto pending = std::async(std::launch::async, [&] {
        std::array<std::uint8_t, 16> bytes{};
        const int32_t r = bTOLA_comm_Controller_read(bytes.data(), 0x20000000, 16);
        library_done = true;
        return r;
    });
    // While the silent device holds its request, the other device answers.
    ASSERT_TRUE(silent.journal().wait_for(sim::EventKind::Request, 1, 5s));
    auto other = sim::ChannelClient::connect(bridge_socket(sim_->instrument(1)));
    ASSERT_TRUE(other);
    const auto reply = other->call(ch::kReadDescriptor, {}, 18);
    ASSERT_TRUE(reply && reply->success);
    EXPECT_FALSE(library_done.load()) << "the other device waited for the silent one";

    // The library hears a refusal within its window, not a dead channel.
    EXPECT_EQ(0, pending.get());
    std::array<std::uint8_t, 16> bytes{};
    EXPECT_EQ(1, bTOLA_comm_Controller_read(bytes.data(), 0x20000000, 16));
}

TEST_F(BridgeEndToEnd, UnpluggedInTheMiddleOfARequestFailsThatRequest) {
    start_bus({config(4), config(4)});
    sim::Instrument& pulled = sim_->instrument(0);
    start_bridge(2);
    ::setenv("TOLA_USB_DIR", channel().c_str(), 1);
    ASSERT_EQ(1, connect());
    pulled.stay_silent(1, 10s);
    auto pending = std::async(std::launch::async, [&] {
        std::array<std::uint8_t, 16> bytes{};
        return bTOLA_comm_Controller_read(bytes.data(), 0x20000000, 16);
    });
    ASSERT_TRUE(pulled.journal().wait_for(sim::EventKind::Request, 1, 5s));
    pulled.unplug();
    EXPECT_EQ(0, pending.get());
    ASSERT_TRUE(served_count_becomes(1));
    auto other = sim::ChannelClient::connect(bridge_socket(sim_->instrument(1)));
    ASSERT_TRUE(other);
    const auto reply = other->call(ch::kReadDescriptor, {}, 18);
    EXPECT_TRUE(reply && reply->success);
}

TEST_F(BridgeEndToEnd, BadClientsLoseTheirConnectionAndNothingElse) {
    start_bus({config(1, 2, "CK0A.00.20.00")});
    start_bridge(1);
    const auto socket = channel() / "ezusb-0";

    auto garbage = sim::ChannelClient::connect(socket);
    ASSERT_TRUE(garbage);
    const std::string noise = "GET / HTTP/1.0\r\n\r\n....";
    garbage->send_raw(std::span(reinterpret_cast<const std::uint8_t*>(noise.data()), noise.size()));
    EXPECT_TRUE(garbage->wait_closed());

    auto client = sim::ChannelClient::connect(socket);
    ASSERT_TRUE(client);
    // A pipe the device lacks, and a code of another protocol: refused, no harm done.
    std::vector<std::uint8_t> pipe9;
    ch::put_u32(pipe9, 9);
    auto reply = client->call(ch::kBulkRead, pipe9, 3);
    ASSERT_TRUE(reply);
    EXPECT_FALSE(reply->success);
    reply = client->call(ch::kReceive, {}, 12);
    ASSERT_TRUE(reply);
    EXPECT_FALSE(reply->success);
    reply = client->call(ch::kReadDescriptorEzusb, {}, 18);
    ASSERT_TRUE(reply);
    EXPECT_TRUE(reply->success);

    // The library still connects.
    ::setenv("TOLA_USB_DIR", channel().c_str(), 1);
    EXPECT_EQ(1, connect());
}

}  // namespace
}  // namespace tola::testing
