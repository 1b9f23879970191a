// The device command set and the controller over the byte-stream links: the
// memory-mapped instrument on a serial port and over Bluetooth.
#include "comm/structures/host_copies.h"
#include "sim_fixture.h"

#include <cstring>
#include <vector>

namespace tola::testing {
namespace {

using sim::EventKind;

class StreamCommands : public SimTest, public ::testing::WithParamInterface<int> {
protected:
    sim::Instrument& connect_kind(int kind) {
        sim::Instrument& instrument = start(config(kind));
        if (kind == TOLA_DEVICE_BT_MAPPED_A || kind == TOLA_DEVICE_BT_MAPPED_B) {
            EXPECT_TRUE(instrument.wait_until_present(true, std::chrono::seconds(2)));
            BT_DEVICE device{};
            std::strcpy(device.snBtAddress, instrument.bt_address().c_str());
            TOLA_comm_bt_set_device_ex(&device, sizeof device);
            EXPECT_EQ(1, connect(TOLA_PORT_BLUETOOTH)) << comm_.ssStatus;
        } else {
            use_serial_port(3, instrument);
            EXPECT_EQ(1, connect(TOLA_PORT_COM1 + 2)) << comm_.ssStatus;
        }
        instrument.journal().clear();
        return instrument;
    }
};

TEST_P(StreamCommands, CommandsTravelThroughTheHostBlock) {
    sim::Instrument& instrument = connect_kind(GetParam());
    ASSERT_EQ(static_cast<std::uint32_t>(GetParam()), comm_.iDevice);
    COMM_USB_HOST block{};
    block.qdWord[14] = 2000;  // a state wait of 100 ms
    ASSERT_EQ(1, bTOLA_comm_send_command(&block));

    EXPECT_EQ(1, bTOLA_comm_set_state(20));
    EXPECT_EQ(1, bTOLA_comm_set_sample_rate(8));
    EXPECT_EQ(1, bTOLA_comm_set_bias(-5));
    EXPECT_EQ(1, bTOLA_comm_lamp_shutter_LED(3));
    EXPECT_EQ(1, bTOLA_comm_measure_color());
    EXPECT_EQ(1, bTOLA_comm_calibrate());
    EXPECT_EQ(1, bTOLA_USB_CKII_control(0x80000000));
    EXPECT_EQ(0, bTOLA_comm_defaults()) << "restoring defaults is for the USB instrument only";
    TOLA_comm_slave_mode();  // not for these kinds: nothing is sent

    // (The zero blocks before measure and calibrate carry no command.)
    ASSERT_TRUE(instrument.journal().wait_for(EventKind::HostCommand, 7, std::chrono::seconds(2)));
    std::vector<std::uint32_t> commands;
    for (const auto& e : instrument.journal().entries(EventKind::HostCommand)) commands.push_back(e.value);
    const std::vector<std::uint32_t> expected{0x2, 0x40000, 0x20, 0x1, 0x800000, 0x1000000, 0x80000000};
    EXPECT_EQ(expected, commands);

    COMM_USB_HOST probe{};
    probe.qdWord[14] = 100;
    ASSERT_EQ(1, bTOLA_comm_send_command(&probe));
    EXPECT_EQ(500u, probe.qdWord[14]) << "the command time of rate index 8";
    EXPECT_EQ(0xFFFBu, probe.qdWord[13] & 0xFFFF);
    EXPECT_EQ(3u, probe.qdWord[9]);
    std::int16_t bias = 0;
    std::int32_t rate = -1, lamp = -1;
    ASSERT_EQ(1, bTOLA_comm_get_current_BRLL(&bias, &rate, &lamp));
    EXPECT_EQ(-5, bias);
    EXPECT_EQ(8, rate);
    EXPECT_EQ(3, lamp);
}

INSTANTIATE_TEST_SUITE_P(SerialAndBluetooth, StreamCommands,
                         ::testing::Values(TOLA_DEVICE_SERIAL_MAPPED_A, TOLA_DEVICE_BT_MAPPED_A));

class BluetoothController : public StreamCommands {};

TEST_F(BluetoothController, RequestsBeyond65535BytesAreRefusedBeforeAnyTraffic) {
    sim::Instrument& instrument = connect_kind(TOLA_DEVICE_BT_MAPPED_A);
    std::vector<std::uint8_t> buffer(70000, 0x33);
    EXPECT_EQ(0, bTOLA_comm_Controller_read(buffer.data(), 0x20000000, 70000));
    EXPECT_EQ(0, bTOLA_comm_Controller_read(buffer.data(), 0x20000000, 65536));
    EXPECT_EQ(0, bTOLA_comm_Controller_write(buffer.data(), 0x08000000, 70000, 10));
    EXPECT_EQ(0, bTOLA_comm_Controller_write(buffer.data(), 0x08000000, 65536, 10));
    EXPECT_EQ(0u, instrument.journal().count(EventKind::Request)) << "nothing went over the link";
    EXPECT_EQ(std::vector<std::uint8_t>(70000, 0x33), buffer);
}

}  // namespace
}  // namespace tola::testing
