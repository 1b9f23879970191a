// Connecting over a real pseudo-terminal and through the Bluetooth client
// stand-in to virtual instruments of the byte-stream kinds, and what moves
// over those links once connected.
#include "comm/platform/clock.h"
#include "comm/structures/host_copies.h"
#include "sim_fixture.h"

#include <array>
#include <string>
#include <vector>

namespace tola::testing {
namespace {

using sim::EventKind;

class StreamConnection : public SimTest {
protected:
    sim::Instrument& start_serial(int kind, int port = 3, const char* release = "CK0A.00.31.00") {
        sim::InstrumentConfig c = config(kind, 2, release);
        sim::Instrument& instrument = start(c);
        use_serial_port(port, instrument);
        return instrument;
    }
    std::string interface_name() {
        char name[501] = {};
        bTOLA_comm_get_interface_name(name);
        return name;
    }
    char message[501] = {};
};

TEST_F(StreamConnection, MemoryMappedInstrumentOnComThree) {
    sim::Instrument& instrument = start_serial(8);
    ASSERT_EQ(1, connect(TOLA_PORT_COM1 + 2)) << comm_.ssStatus;
    EXPECT_EQ(TOLA_DEVICE_SERIAL_MAPPED_A, comm_.iDevice);
    EXPECT_EQ(0x401u, comm_.tStatus);
    EXPECT_STREQ("CK0A.00.31.00", comm_.snInterface);
    EXPECT_EQ(std::string(comm_.snDevice) + " - RS232 comm 3", interface_name());
    EXPECT_EQ(1, bTOLA_comm_test());

    // Structures move both ways where the link serves them.
    CKNG_SETTINGS settings{};
    ASSERT_EQ(1, bTOLA_Transfer_local_structure(&comm_, &settings, CKPSTRUCT_SETTINGS, sizeof settings, 2, message))
        << message;
    EXPECT_EQ(40u, settings.dSamples);
    settings.dSamples = 64;
    ASSERT_EQ(1, bTOLA_Transfer_local_structure(&comm_, &settings, CKPSTRUCT_SETTINGS, sizeof settings, 1, message))
        << message;
    CKNG_SETTINGS again{};
    ASSERT_EQ(1, bTOLA_Transfer_local_structure(&comm_, &again, CKPSTRUCT_SETTINGS, sizeof again, 2, message));
    EXPECT_EQ(64u, again.dSamples);
    std::vector<std::uint8_t> details(sizeof(TOLA_SHADE_MATCH_DETAILS));
    EXPECT_EQ(1, bTOLA_Transfer_local_structure(&comm_, details.data(), CKPSTRUCT_MEASUREDETAILS,
                                                static_cast<int32_t>(details.size()), 2, message));
    CKII_SETUP setup{};
    EXPECT_EQ(1, bTOLA_Transfer_local_structure(&comm_, &setup, CKPSTRUCT_SETUPROM, sizeof setup, 3, message))
        << "the set-up uploads whatever the direction";
    EXPECT_EQ(0, bTOLA_Transfer_local_structure(&comm_, message, CKPSTRUCT_ADD3, 100, 2, message))
        << "additional block 3 moves over Bluetooth only";

    // A query through the host block over the serial link.
    COMM_USB_HOST block{};
    block.qdWord[0] = 0x80000000;
    block.qdWord[1] = 21;
    block.qdWord[14] = 300;
    ASSERT_EQ(1, bTOLA_comm_send_command(&block));
    EXPECT_EQ(5324u, block.qdWord[3]);

    // The controller is reached by commands only: a read sends nothing.
    instrument.journal().clear();
    std::array<std::uint8_t, 16> bytes{};
    EXPECT_EQ(0, bTOLA_comm_Controller_read(bytes.data(), 0x20000000, 16));
    EXPECT_EQ(0u, instrument.journal().entries().size());
}

TEST_F(StreamConnection, VersionBlockOutsideTheRamFailsTheLoad) {
    sim::Instrument& instrument = start_serial(8);
    // The table's first word names where the version block lies.
    const std::vector<std::uint8_t> outside{0x00, 0x00, 0x01, 0x20};
    ASSERT_TRUE(instrument.poke(0x20000000, outside));
    EXPECT_EQ(3, connect(TOLA_PORT_COM1 + 2));
    EXPECT_NE(0u, comm_.tStatus & TOLA_STATUS_WRONG_DEVICE);
    EXPECT_STREQ("Chromatik\xAE Portivo", comm_.snDevice);
    EXPECT_EQ(-1, comm_.hRS232) << "the port is closed again";
}

TEST_F(StreamConnection, SecondAnswerMakesKindNine) {
    start_serial(9, 5);
    ASSERT_EQ(1, connect(TOLA_PORT_COM1 + 4)) << comm_.ssStatus;
    EXPECT_EQ(TOLA_DEVICE_SERIAL_MAPPED_B, comm_.iDevice);
    EXPECT_EQ(0x01000001u, comm_.tStatus) << "COM5 is port field 1";
    EXPECT_EQ(std::string(comm_.snDevice) + " - RS232 comm 5", interface_name());
}

TEST_F(StreamConnection, SerialControllerCommandsAreSingleCodes) {
    sim::InstrumentConfig c = config(8);
    c.restart_silence = std::chrono::milliseconds(200);
    sim::Instrument& instrument = start(c);
    use_serial_port(3, instrument);
    ASSERT_EQ(1, connect(TOLA_PORT_COM1 + 2));
    EXPECT_EQ(1, bTOLA_comm_Controller_command(11, 0));
    EXPECT_TRUE(instrument.in_update_mode());
    EXPECT_EQ(1, bTOLA_USB_Renesas_command(9, 5));
    EXPECT_EQ(1, bTOLA_comm_Controller_command(10, 0));
    EXPECT_TRUE(instrument.journal().wait_for(EventKind::Restart, 1, std::chrono::seconds(2)));
    const auto commands = instrument.journal().entries(EventKind::ControllerCommand);
    ASSERT_GE(commands.size(), 3u);
    EXPECT_EQ(9u, commands[1].code);
    EXPECT_EQ(5u, commands[1].value);
}

TEST_F(StreamConnection, ClassicInstrumentSendsItsStructuresAsMessages) {
    sim::Instrument& instrument = start_serial(2, 3, "CK0A.00.20.00");
    ASSERT_EQ(1, connect(TOLA_PORT_COM1 + 2)) << comm_.ssStatus;
    EXPECT_EQ(TOLA_DEVICE_SERIAL_CLASSIC, comm_.iDevice);
    EXPECT_STREQ("CK0A.00.20.00", comm_.snInterface);
    EXPECT_EQ(std::string(comm_.snDevice) + " - RS232 comm 3", interface_name());
    EXPECT_EQ(1, bTOLA_comm_set_sample_rate(8));
    int16_t bias = 7;
    int32_t rate = -1;
    EXPECT_EQ(1, bTOLA_comm_get_current_BRLL(&bias, &rate, nullptr));
    EXPECT_EQ(8, rate);
    instrument.journal().clear();
    EXPECT_EQ(1, bTOLA_comm_lamp_shutter_LED(3));
    std::vector<std::uint32_t> codes;
    for (const auto& e : instrument.journal().entries(EventKind::Request)) codes.push_back(e.code);
    EXPECT_EQ((std::vector<std::uint32_t>{19, 21}), codes) << "\"Lamp On\", then \"Shutter Open\"";
    EXPECT_EQ(0, bTOLA_comm_defaults());
}

TEST_F(StreamConnection, AutomaticSearchFindsTheInstrumentOnComThree) {
    start_serial(8);
    comm_.iPort = TOLA_PORT_SEARCH;
    std::int32_t result = 2;
    const std::uint32_t begin = platform::tick_ms();
    while (result == 2 && platform::ms_since(begin) < 40000) {
        result = iTOLA_comm_poll_initialize(&comm_);
        if (result == 2) platform::sleep_ms(100);
    }
    ASSERT_EQ(1, result) << comm_.ssStatus;
    EXPECT_GE(platform::ms_since(begin), 15000u) << "USB, COM1 and COM2 had their five seconds first";
    EXPECT_EQ(std::string(comm_.snDevice) + " - RS232 comm 3", interface_name());
}

TEST_F(StreamConnection, BluetoothInstrumentIsFoundSelectedAndConnected) {
    sim::InstrumentConfig c = config(10);
    c.bt_name = "Chromatik V H51234";
    sim::Instrument& instrument = start(c);
    ASSERT_TRUE(instrument.wait_until_present(true, std::chrono::seconds(2)));

    BT_DEVICES found{};
    ASSERT_EQ(1, bTOLA_comm_bt_discovery_ex(&found, sizeof found));
    ASSERT_EQ(1u, found.iCount);
    EXPECT_EQ(instrument.bt_address(), found.qBtDevice[0].snBtAddress);
    EXPECT_STREQ("Chromatik V H51234", found.qBtDevice[0].snBtDeviceName);
    EXPECT_EQ(1, bTOLA_comm_bt_get_radio_count(0));
    TOLA_comm_bt_set_device_ex(&found.qBtDevice[0], sizeof found.qBtDevice[0]);

    ASSERT_EQ(1, connect(TOLA_PORT_BLUETOOTH)) << comm_.ssStatus;
    EXPECT_EQ(TOLA_DEVICE_BT_MAPPED_A, comm_.iDevice);
    EXPECT_EQ(std::string(comm_.snDevice) + " - Unknown Port", interface_name());
    EXPECT_EQ(1, bTOLA_comm_test());

    std::vector<std::uint8_t> add3(2676);
    EXPECT_EQ(1, bTOLA_Transfer_local_structure(&comm_, add3.data(), CKPSTRUCT_ADD3, 2676, 2, message)) << message;
    std::vector<std::uint8_t> short_result(624);
    EXPECT_EQ(1, bTOLA_Transfer_local_structure(&comm_, short_result.data(), CKPSTRUCT_ADD5, 624, 2, message))
        << message;

    // Boot-loader access over Bluetooth: erase a sector and write and read back flash.
    instrument.journal().clear();
    ASSERT_EQ(1, bTOLA_comm_Controller_command(11, 0));
    ASSERT_EQ(1, bTOLA_comm_Controller_command(9, 11));
    std::vector<std::uint8_t> data(500);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 3);
    ASSERT_EQ(1, bTOLA_comm_Controller_write(data.data(), 0x080E0000, 500, 10));
    std::vector<std::uint8_t> back(500);
    ASSERT_EQ(1, bTOLA_comm_Controller_read(back.data(), 0x080E0000, 500));
    EXPECT_EQ(data, back);
    const auto commands = instrument.journal().entries(EventKind::ControllerCommand);
    ASSERT_EQ(2u, commands.size());
    EXPECT_EQ(9u, commands[1].code);
    EXPECT_EQ(11u, commands[1].value);
}

TEST_F(StreamConnection, OpeningAPortThatDoesNotExistLeavesTheRecord) {
    comm_.iPort = TOLA_PORT_COM1 + 6;
    std::strcpy(comm_.ssStatus, "before");
    EXPECT_EQ(2, iTOLA_comm_poll_initialize(&comm_));
    EXPECT_EQ(-1, comm_.hRS232);
    // The failed open cleared the port name the step's text names.
    EXPECT_STREQ("Testing RS232 ", comm_.ssStatus);
    EXPECT_STREQ("", comm_.snRS232);
}

TEST_F(StreamConnection, SearchWithNothingAttachedFailsAfterComTwenty) {
    comm_.iPort = TOLA_PORT_SEARCH;
    std::int32_t result = 2;
    const std::uint32_t begin = platform::tick_ms();
    while (result == 2 && platform::ms_since(begin) < 150000) {
        result = iTOLA_comm_poll_initialize(&comm_);
        if (result == 2) platform::sleep_ms(200);
    }
    EXPECT_EQ(3, result);
    EXPECT_STREQ("Can't find a comm port", comm_.ssStatus);
    EXPECT_EQ(0x2008u, comm_.tStatus);
    EXPECT_GE(platform::ms_since(begin), 21u * 5000u);
}

}  // namespace
}  // namespace tola::testing
