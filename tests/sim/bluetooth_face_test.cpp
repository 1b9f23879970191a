// The Bluetooth faces (kinds 10, 11): registration in the Bluetooth folder, the
// Bluetooth memory windows and the confirmed controller blocks; and the client
// stand-in loaded as the library loads it.
#include <dlfcn.h>

#include <cstring>
#include <fstream>
#include <type_traits>
#include <thread>

#include "comm/platform/bt_client_api.h"
#include "tests/sim/link_test_support.h"

namespace tola::sim::test {
namespace {

constexpr std::uint32_t kConfirmation = 0x0A3E5C71;

TEST(BluetoothFace, RegistersUnderItsAddressWithItsName) {
    auto config = link_config(11);
    config.bt_address = "00:80:25:12:34:56";
    LinkHarness h(config);
    EXPECT_EQ(h.instrument.bt_socket_path(), h.dir.path() / "bt" / "00:80:25:12:34:56");
    std::ifstream name(h.dir.path() / "bt" / "00:80:25:12:34:56.name");
    std::string line;
    std::getline(name, line);
    EXPECT_EQ(line, "Chromatik V H51234");
    auto wire = h.wire();
    EXPECT_EQ(wire.command(1), 231);
    h.simulator.stop();
    EXPECT_FALSE(std::filesystem::exists(h.instrument.bt_socket_path()));
}

TEST(BluetoothFace, WindowsDifferFromTheSerialOnes) {
    LinkHarness h(link_config(10));
    auto wire = h.wire();
    EXPECT_TRUE(wire.read_memory(51, 0x2001FFF0, 16));      // RAM reaches 128 KiB here
    EXPECT_TRUE(wire.read_memory(51, 0xE000E010, 4));       // system control, read like RAM
    EXPECT_TRUE(wire.read_memory(51, 0x40000000, 4));
    EXPECT_EQ(wire.send_block(55, address_block(0x40000000, 4)), 200);  // no peripheral code on this link
    EXPECT_EQ(wire.send_block(51, address_block(0xE000E00C, 4)), 201);
    EXPECT_TRUE(wire.read_memory(53, 0x080FFF80, 128));     // ends at the last flash byte
    EXPECT_EQ(wire.send_block(54, address_block(0x08100000, 128)), 201);
}

TEST(BluetoothFace, ControllerCommandsNeedTheConfirmation) {
    LinkHarness h(link_config(10));
    auto wire = h.wire();
    EXPECT_EQ(wire.send_block(61, address_block(kConfirmation, 4)), 61);
    EXPECT_TRUE(h.instrument.in_update_mode());
    EXPECT_EQ(wire.send_block(62, address_block(0, 0)), 201);
    EXPECT_EQ(wire.send_block(62, address_block(kConfirmation, 4)), 62);
    // A command the instrument does not know travels as 8 zero bytes under code 1.
    // The link check's answer acknowledges its code byte.
    EXPECT_EQ(wire.command(1), 230);
    wire.send(packet(1, Bytes(8, 0)));
    EXPECT_EQ(wire.receive_byte(), 1);
    EXPECT_EQ(wire.send_block(60, address_block(kConfirmation, 4)), 60);
    EXPECT_TRUE(h.instrument.journal().wait_for(EventKind::Restart, 1, 2s));
    EXPECT_TRUE(wire.quiet(1000ms) && wire.closed());  // a restart takes the radio link down
}

TEST(BluetoothFace, StrayByteBeforeAcknowledgementAndDroppedConnection) {
    LinkHarness h(link_config(10));
    auto wire = h.wire();
    ASSERT_TRUE(h.instrument.inject("stray=230"));
    wire.send_byte(59);
    EXPECT_EQ(wire.receive(2), (Bytes{230, 59}));
    wire.send(packet(59, address_block(kConfirmation, 4)));
    EXPECT_EQ(wire.receive_byte(), 201);  // sector 0x0A3E5C71 does not exist

    ASSERT_TRUE(h.instrument.inject("drop-link"));
    wire.send_byte(1);
    EXPECT_TRUE(wire.quiet(1000ms) && wire.closed());
    auto again = h.wire();  // one drop, not a dead radio
    EXPECT_EQ(again.command(1), 230);
}

// --- the client stand-in ---

class BtClient : public ::testing::Test {
protected:
    void SetUp() override {
        module_ = ::dlopen(TOLA_BT_CLIENT_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(module_, nullptr) << ::dlerror();
        auto bind = [&](auto& slot, const char* name) {
            slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(::dlsym(module_, name));
            ASSERT_NE(slot, nullptr) << name;
        };
        bind(f_.init, "TolaBtClientInit");
        bind(f_.connect, "TolaBtClientConnect");
        bind(f_.disconnect, "TolaBtClientDisConnect");
        bind(f_.discover_devices, "TolaBtClientDiscoverDevices");
        bind(f_.set_device, "TolaBtClientSetDevice");
        bind(f_.exit, "TolaBtClientExit");
        bind(f_.read_file, "TolaBtClientReadFile");
        bind(f_.write_file, "TolaBtClientWriteFile");
        bind(f_.clear_buffer, "TolaBtClientClearBuffer");
        bind(f_.get_radio_count, "TolaBtClientGetRadioCount");
        bind(f_.reinit, "TolaBtClientReInit");
        bind(f_.get_connection_status, "TolaBtClientGetConnectionStatus");
        ::setenv("TOLA_BT_DIR", (dir_.path() / "bt").c_str(), 1);
    }
    void TearDown() override {
        if (f_.disconnect) f_.disconnect();
        ::unsetenv("TOLA_BT_DIR");
    }

    BT_DEVICE device(const std::string& address) {
        BT_DEVICE d{};
        std::strncpy(d.snBtAddress, address.c_str(), sizeof d.snBtAddress - 1);
        return d;
    }

    // What arrives within the window, read as the library reads: non-blocking
    // reads with short sleeps between them.
    Bytes read_for(std::size_t wanted, std::chrono::milliseconds window = 2000ms) {
        Bytes out;
        const auto deadline = std::chrono::steady_clock::now() + window;
        while (out.size() < wanted && std::chrono::steady_clock::now() < deadline) {
            std::uint8_t buffer[600];
            std::uint32_t n = 0;
            if (!f_.read_file(buffer, static_cast<std::uint32_t>(std::min(sizeof buffer, wanted - out.size())), &n))
                break;
            out.insert(out.end(), buffer, buffer + n);
            if (n == 0) std::this_thread::sleep_for(5ms);
        }
        return out;
    }
    bool write(const Bytes& b) {
        std::uint32_t n = 0;
        return f_.write_file(b.data(), static_cast<std::uint32_t>(b.size()), &n) && n == b.size();
    }

    TempDir dir_;
    void* module_ = nullptr;
    platform::BtClientFunctions f_;
};

TEST_F(BtClient, RadioCountFollowsTheFolder) {
    EXPECT_EQ(f_.get_radio_count(0), 0);
    std::filesystem::create_directories(dir_.path() / "bt");
    EXPECT_EQ(f_.get_radio_count(0), 1);
    EXPECT_EQ(f_.init(), 1);
}

TEST_F(BtClient, DiscoveryListsEveryRegisteredInstrument) {
    Simulator sim(dir_.path() / "usb", dir_.path() / "bt");
    auto a = link_config(10);
    auto b = link_config(11);
    b.serial = "H59999";
    b.bt_name = "Desk unit";
    sim.add(a);
    sim.add(b);
    sim.start();
    ASSERT_TRUE(sim.instrument(1).wait_until_present(true, 2s));
    BT_DEVICES found;
    std::memset(&found, 0xEE, sizeof found);
    EXPECT_EQ(f_.discover_devices(&found), 1);
    ASSERT_EQ(found.iCount, 2u);
    EXPECT_STREQ(found.qBtDevice[0].snBtAddress, "00:80:25:AB:CD:01");
    EXPECT_STREQ(found.qBtDevice[0].snBtDeviceName, "Chromatik V H51234");
    EXPECT_STREQ(found.qBtDevice[1].snBtAddress, "00:80:25:AB:CD:02");
    EXPECT_STREQ(found.qBtDevice[1].snBtDeviceName, "Desk unit");
    EXPECT_EQ(found.qBtDevice[2].snBtAddress[0], 0);  // the rest of the record is cleared
}

TEST_F(BtClient, ConnectsReadsWritesAndSeesThePeerGo) {
    Simulator sim(dir_.path() / "usb", dir_.path() / "bt");
    Instrument& inst = sim.add(link_config(11));
    sim.start();
    ASSERT_TRUE(inst.wait_until_present(true, 2s));

    BT_DEVICE nobody = device("00:00:00:00:00:00");
    f_.set_device(&nobody);
    EXPECT_EQ(f_.connect(), -1);

    BT_DEVICE d = device(inst.bt_address());
    f_.set_device(&d);
    const int32_t handle = f_.connect();
    ASSERT_GT(handle, 0);
    EXPECT_EQ(f_.get_connection_status(handle), 1);
    EXPECT_EQ(f_.get_connection_status(handle + 1), 0);

    std::uint8_t nothing[4];
    std::uint32_t n = 99;
    EXPECT_NE(f_.read_file(nothing, 4, &n), 0);  // nothing waiting: success with 0 bytes
    EXPECT_EQ(n, 0u);

    ASSERT_TRUE(write(Bytes{1}));
    EXPECT_EQ(read_for(1), Bytes{231});

    ASSERT_TRUE(write(Bytes{51}));
    ASSERT_EQ(read_for(1), Bytes{51});
    ASSERT_TRUE(write(packet(51, address_block(0x20000000, 96))));
    const Bytes answer = read_for(1 + 8 + 96);
    ASSERT_EQ(answer.size(), 105u);
    EXPECT_EQ(answer[0], 51);
    EXPECT_EQ(Bytes(answer.begin() + 9, answer.end()), *inst.peek(0x20000000, 96));
    ASSERT_TRUE(write(Bytes{51}));

    ASSERT_TRUE(write(Bytes{1, 1}));
    EXPECT_EQ(read_for(1), Bytes{231});
    EXPECT_EQ(f_.clear_buffer(), 1);  // the second answer is discarded unread
    EXPECT_TRUE(read_for(1, 300ms).empty());

    ASSERT_TRUE(inst.inject("drop-link"));
    ASSERT_TRUE(write(Bytes{1}));
    read_for(1, 500ms);
    EXPECT_EQ(f_.get_connection_status(handle), 0);
    EXPECT_EQ(f_.disconnect(), 1);
    EXPECT_GT(f_.connect(), 0);  // the instrument takes a new connection
}

}  // namespace
}  // namespace tola::sim::test
