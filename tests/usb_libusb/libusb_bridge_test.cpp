// The whole real path short of hardware: library -> channel socket -> bridge
// -> libusb -> usbdevfs (answered by the mock bus) -> the virtual instrument
// behind the mock device's endpoints.
#include "bridge/usb/bridge.h"
#include "bridge/usb/libusb_backend.h"
#include "sim/usb_interface.h"
#include "tests/integration/sim_fixture.h"
#include "tests/support/mock_usb_bus.h"

namespace tola::testing {
namespace {

namespace ch = tola::usbchannel;
using namespace std::chrono_literals;

// A virtual instrument playing the device behind the mock's bulk endpoints, as
// its USB interface turns transfers into its requests.
class InstrumentFunction final : public MockUsbFunction {
public:
    InstrumentFunction(sim::Instrument& instrument, bool classic) : instrument_(instrument), classic_(classic) {
        instrument_.connection_opened();
    }

    bool take(std::uint8_t endpoint, std::span<const std::uint8_t> data) override {
        const auto request = sim::usb_interface::request_for(classic_, endpoint, data, 0);
        if (!request) return false;
        const auto outcome = instrument_.handle(*request, sim::Clock::now());
        return outcome.answer && outcome.reply.success;
    }

    InAnswer give(std::uint8_t endpoint, std::size_t capacity) override {
        const auto request =
            sim::usb_interface::request_for(classic_, endpoint, {}, static_cast<std::uint32_t>(capacity));
        if (!request) return InAnswer::stall();
        auto outcome = instrument_.handle(*request, sim::Clock::now());
        if (!outcome.answer) return InAnswer::nothing();
        if (!outcome.reply.success) return InAnswer::stall();
        outcome.reply.output.resize(outcome.reply.bytes_returned);
        return InAnswer::data(std::move(outcome.reply.output));
    }

private:
    sim::Instrument& instrument_;
    bool classic_;
};

std::vector<std::uint8_t> descriptor_of(sim::Instrument& instrument) {
    for (const std::uint32_t code : {ch::kReadDescriptor, ch::kReadDescriptorEzusb}) {
        const auto outcome = instrument.handle(ch::Request{code, {}, 18, {}}, sim::Clock::now());
        if (outcome.answer && outcome.reply.success && outcome.reply.output.size() == 18) return outcome.reply.output;
    }
    return {};
}

class LibusbBridgeTest : public SimTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(MockUsbBus::preloaded()) << "run with LD_PRELOAD=libumockdev-preload.so.0";
        SimTest::SetUp();
        bus_ = std::make_unique<MockUsbBus>();
    }
    void TearDown() override {
        if (library_state().record == &comm_) {
            TOLA_comm_close();
            library_state().record = nullptr;
        }
        bridge_.reset();
        backend_.reset();
        bus_.reset();
        SimTest::TearDown();
    }

    std::filesystem::path channel() const { return dir_ / "channel"; }

    // The instrument on the simulator's own sockets (the direct path) and as a
    // mock device on the USB bus.
    MockUsbDevice& plug(sim::InstrumentConfig config, const std::string& port) {
        if (!sim_) {
            sim_ = std::make_unique<sim::Simulator>(dir_ / "usb", dir_ / "bt");
            sim_->add(std::move(config));
            sim_->start();
        }
        sim::Instrument& instrument = sim_->instrument(sim_->size() - 1);
        MockUsbDeviceDescription description;
        description.port = port;
        description.descriptor = descriptor_of(instrument);
        EXPECT_EQ(18u, description.descriptor.size());
        const auto& d = description.descriptor;
        const bool classic = d[8] == 0xA7 && d[9] == 0xE1 && d[10] == 0x61 && d[11] == 0x50;
        const auto endpoints = sim::usb_interface::endpoints(classic);
        description.endpoints.assign(endpoints.begin(), endpoints.end());
        return bus_->plug(description, std::make_shared<InstrumentFunction>(instrument, classic));
    }

    void start_bridge(std::size_t expected_devices) {
        backend_ = std::make_unique<usbd::LibusbBackend>();
        ASSERT_EQ("", backend_->init_error());
        bridge_ = std::make_unique<usbd::Bridge>(*backend_, usbd::BridgeOptions{channel()});
        std::string error;
        ASSERT_TRUE(bridge_->start(error)) << error;
        ASSERT_TRUE(served_count_becomes(expected_devices));
    }

    bool served_count_becomes(std::size_t n) {
        return bridge_->wait_until([n](const auto& served) { return served.size() == n; }, 10s);
    }

    struct Identity {
        std::uint32_t device, vid, pid;
        std::string name, version, serial;
        bool operator==(const Identity&) const = default;
    };

    Identity connect_through(const std::filesystem::path& usb_dir) {
        ::setenv("TOLA_USB_DIR", usb_dir.c_str(), 1);
        EXPECT_EQ(1, connect());
        Identity id{comm_.iDevice, comm_.dVID, comm_.dPID, comm_.snDevice, comm_.snVersion, comm_.snSerial_number};
        TOLA_comm_close();
        return id;
    }

    std::unique_ptr<MockUsbBus> bus_;
    std::unique_ptr<usbd::LibusbBackend> backend_;
    std::unique_ptr<usbd::Bridge> bridge_;
};

struct KindCase {
    int kind;
    int cpu;
};

class EveryUsbKindOverLibusb : public LibusbBridgeTest, public ::testing::WithParamInterface<KindCase> {};

TEST_P(EveryUsbKindOverLibusb, ConnectsWithTheIdentityItShowsDirectly) {
    sim::InstrumentConfig c = config(GetParam().kind, GetParam().cpu, "CK0A.00.20.00");
    if (c.kind == 4) c.layout_release = "CK0A.00.31.00";
    c.serial = "H6" + std::to_string(GetParam().kind) + std::to_string(GetParam().cpu);
    plug(c, "1-3");
    start_bridge(1);

    const Identity direct = connect_through(dir_ / "usb");
    const Identity bridged = connect_through(channel());
    EXPECT_EQ(static_cast<std::uint32_t>(GetParam().kind), bridged.device);
    if (c.kind != 3) {  // boot mode has no serial number to show
        EXPECT_EQ(c.serial, bridged.serial);
    }
    EXPECT_TRUE(direct == bridged) << bridged.name << " " << bridged.version << " vs " << direct.name << " "
                                   << direct.version;
    EXPECT_TRUE(std::filesystem::exists(channel() / usbd::kInterfaceClassFolder / "usb-1-3"));
}

INSTANTIATE_TEST_SUITE_P(Libusb, EveryUsbKindOverLibusb,
                         ::testing::Values(KindCase{1, 2}, KindCase{3, 2}, KindCase{4, 1}, KindCase{4, 2}),
                         [](const auto& p) {
                             return "kind" + std::to_string(p.param.kind) + "cpu" + std::to_string(p.param.cpu);
                         });

TEST_F(LibusbBridgeTest, AnInstrumentPulledWhileConnectedLosesItsSocketAndFailsTheLibrary) {
    MockUsbDevice& device = plug(config(4), "1-3");
    start_bridge(1);
    ::setenv("TOLA_USB_DIR", channel().c_str(), 1);
    ASSERT_EQ(1, connect());
    std::array<std::uint8_t, 32> bytes{};
    ASSERT_EQ(1, bTOLA_comm_Controller_read(bytes.data(), 0x20000000, 32));

    bus_->unplug(device);
    ASSERT_TRUE(served_count_becomes(0));
    EXPECT_FALSE(std::filesystem::exists(channel() / usbd::kInterfaceClassFolder / "usb-1-3"));
    EXPECT_EQ(0, bTOLA_comm_Controller_read(bytes.data(), 0x20000000, 32));
}

}  // namespace
}  // namespace tola::testing
