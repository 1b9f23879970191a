// Device commands and controller access against a virtual Chromatik V on USB.
#include "comm/commands/command_timing.h"
#include "comm/platform/clock.h"
#include "comm/platform/usb_channel_frame.h"
#include "comm/structures/host_copies.h"
#include "sim_fixture.h"

#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace tola::testing {
namespace {

using sim::EventKind;

class UsbCommands : public SimTest {
protected:
    sim::Instrument& connect_to(sim::InstrumentConfig c) {
        sim::Instrument& instrument = start(std::move(c));
        EXPECT_EQ(1, connect());
        instrument.journal().clear();
        return instrument;
    }
    sim::Instrument& connect_to_chromatik_v() { return connect_to(config(4)); }

    std::vector<sim::JournalEntry> host_commands(const sim::Instrument& i) {
        return i.journal().entries(EventKind::HostCommand);
    }
};

TEST_F(UsbCommands, QueryAnswersTheDeviceTypeCode) {
    connect_to_chromatik_v();
    COMM_USB_HOST block{};
    block.qdWord[0] = 0x80000000;
    block.qdWord[1] = 21;
    block.qdWord[14] = 300;
    ASSERT_EQ(1, bTOLA_comm_send_command(&block));
    EXPECT_EQ(0u, block.qdWord[0]) << "the instrument cleared word 0";
    EXPECT_EQ(5324u, block.qdWord[3]);
    EXPECT_EQ(5324u, structures::host_copies().host_block.qdWord[3]) << "the library keeps the answer";
}

TEST_F(UsbCommands, NoWaitWritesTheBlockAndReturnsItUnchanged) {
    sim::Instrument& instrument = connect_to_chromatik_v();
    COMM_USB_HOST block{};
    block.qdWord[0] = 0x80000000;
    block.qdWord[1] = 21;
    const COMM_USB_HOST sent = block;
    ASSERT_EQ(1, bTOLA_comm_send_command(&block));
    EXPECT_EQ(0, std::memcmp(&sent, &block, sizeof block));
    EXPECT_EQ(0u, instrument.journal().count(EventKind::MemoryRead)) << "no read-back without a wait";
    EXPECT_EQ(1u, instrument.journal().count(EventKind::MemoryWrite));
}

TEST_F(UsbCommands, WaitIsCutToTwoSecondsWhenTheInstrumentNeverFinishes) {
    sim::InstrumentConfig c = config(4);
    c.command_delay = std::chrono::milliseconds(60000);
    connect_to(c);
    COMM_USB_HOST block{};
    block.qdWord[0] = 0x80000000;
    block.qdWord[1] = 21;
    block.qdWord[14] = 5000;
    const std::uint32_t begin = platform::tick_ms();
    EXPECT_EQ(0, bTOLA_comm_send_command(&block));
    const std::uint32_t took = platform::ms_since(begin);
    EXPECT_GE(took, 2000u);
    EXPECT_LT(took, 4000u);
}

TEST_F(UsbCommands, CompletionIsPolledEvery40Milliseconds) {
    sim::InstrumentConfig c = config(4);
    c.command_delay = std::chrono::milliseconds(150);
    sim::Instrument& instrument = connect_to(c);
    COMM_USB_HOST block{};
    block.qdWord[0] = 0x80000000;
    block.qdWord[1] = 21;
    block.qdWord[14] = 1000;
    ASSERT_EQ(1, bTOLA_comm_send_command(&block));
    EXPECT_EQ(5324u, block.qdWord[3]);
    const std::size_t reads = instrument.journal().count(EventKind::MemoryRead);
    EXPECT_GE(reads, 3u) << "busy at 40, 80 and 120 ms";
    EXPECT_LE(reads, 8u);
}

TEST_F(UsbCommands, ShortExBlockSendsZerosAndReturnsItsOwnSize) {
    sim::Instrument& instrument = connect_to_chromatik_v();
    std::array<std::uint32_t, 8> caller{};
    caller.fill(0xAAAAAAAA);
    caller[0] = 0x80000000;
    caller[1] = 21;
    caller[2] = 0;
    caller[3] = 0;
    ASSERT_EQ(1, bTOLA_comm_send_command_ex(reinterpret_cast<COMM_USB_HOST*>(caller.data()), 16));
    EXPECT_EQ(0xAAAAAAAAu, caller[4]) << "nothing beyond the caller's 16 bytes comes back";
    const auto at = instrument.layout().find(7);
    ASSERT_TRUE(at.has_value());
    const auto written = *instrument.peek(at->address + 16, 48);
    // The instrument saw words 4..15 as zero.  (It may have answered into word 3
    // and cleared word 0 since, and it keeps its own status in words 8, 9 and 12..15.)
    for (std::size_t word : {4, 5, 6, 7, 10, 11})
        for (std::size_t b = 0; b < 4; ++b)
            EXPECT_EQ(0, written[4 * (word - 4) + b]) << "word " << word;
}

TEST_F(UsbCommands, StoreStateTakesThreeSecondsAndEndsInOperatingState) {
    sim::Instrument& instrument = connect_to_chromatik_v();
    COMM_USB_HOST block{};
    block.qdWord[14] = 1000;  // a state wait of 50 ms
    ASSERT_EQ(1, bTOLA_comm_send_command(&block));
    instrument.journal().clear();
    const std::uint32_t begin = platform::tick_ms();
    ASSERT_EQ(1, bTOLA_comm_set_state(53));
    EXPECT_GE(platform::ms_since(begin), 3000u);
    ASSERT_TRUE(instrument.journal().wait_for(EventKind::HostCommand, 2, std::chrono::seconds(1)));
    const auto commands = host_commands(instrument);
    ASSERT_EQ(2u, commands.size());
    EXPECT_EQ(53u, commands[0].address);
    EXPECT_EQ(20u, commands[1].address);
}

TEST_F(UsbCommands, RateIndexComesFromTheCommandTime) {
    connect_to_chromatik_v();
    COMM_USB_HOST& copy = structures::host_copies().host_block;
    copy.qdWord[14] = 700;
    copy.qdWord[13] = 0xFFFF0123;
    copy.qdWord[9] = 0x5;
    int16_t bias = 0;
    int32_t rate = -1, lamp = 0;
    ASSERT_EQ(1, bTOLA_comm_get_current_BRLL(&bias, &rate, &lamp));
    EXPECT_EQ(8, rate) << "500 is the first rate not above 700";
    EXPECT_EQ(0x123, bias);
    EXPECT_EQ(5, lamp);
    EXPECT_EQ(1, bTOLA_comm_get_current_BRLL(nullptr, nullptr, nullptr));
    copy.qdWord[14] = 10;
    ASSERT_EQ(1, bTOLA_comm_get_current_BRLL(nullptr, &rate, nullptr));
    EXPECT_EQ(0, rate);
}

TEST_F(UsbCommands, SampleRateAndBiasReachTheInstrument) {
    sim::Instrument& instrument = connect_to_chromatik_v();
    COMM_USB_HOST block{};
    block.qdWord[14] = 2000;  // state wait of 100 ms
    ASSERT_EQ(1, bTOLA_comm_send_command(&block));
    ASSERT_EQ(1, bTOLA_comm_set_sample_rate(8));
    ASSERT_EQ(1, bTOLA_comm_set_bias(-5));
    ASSERT_TRUE(instrument.journal().wait_for(EventKind::HostCommand, 2, std::chrono::seconds(1)));
    const auto commands = host_commands(instrument);
    ASSERT_GE(commands.size(), 2u);
    EXPECT_EQ(0x40000u, commands[commands.size() - 2].value);
    EXPECT_EQ(0x20u, commands.back().value);
    COMM_USB_HOST probe{};
    probe.qdWord[14] = 100;
    ASSERT_EQ(1, bTOLA_comm_send_command(&probe));
    EXPECT_EQ(500u, probe.qdWord[14]) << "the command time of rate index 8";
    EXPECT_EQ(0xFFFBu, probe.qdWord[13] & 0xFFFF);
}

TEST_F(UsbCommands, LampBitsAreConfirmedByTheInstrument) {
    connect_to_chromatik_v();
    EXPECT_EQ(1, bTOLA_comm_lamp_shutter_LED(3));
    EXPECT_EQ(3u, structures::host_copies().host_block.qdWord[9]);
}

TEST_F(UsbCommands, MeasureAndCalibrateSendAZeroBlockFirst) {
    sim::Instrument& instrument = connect_to_chromatik_v();
    ASSERT_EQ(1, bTOLA_comm_measure_color());
    ASSERT_EQ(1, bTOLA_comm_calibrate());
    EXPECT_EQ(1, bTOLA_USB_CKII_control(0x80000000));
    std::vector<std::uint32_t> written_words;
    const auto at = instrument.layout().find(7);
    for (const auto& e : instrument.journal().entries(EventKind::MemoryWrite))
        if (e.address == at->address) written_words.push_back(e.length);
    EXPECT_EQ(5u, written_words.size()) << "zero block + measure, zero block + calibrate, control value";
}

TEST_F(UsbCommands, DefaultsRestoreOnTheLaterInstrumentOnly) {
    sim::Instrument& instrument = connect_to_chromatik_v();
    COMM_USB_HOST block{};
    block.qdWord[14] = 1000;
    ASSERT_EQ(1, bTOLA_comm_send_command(&block));
    instrument.journal().clear();
    ASSERT_EQ(1, bTOLA_comm_defaults());
    ASSERT_TRUE(instrument.journal().wait_for(EventKind::HostCommand, 3, std::chrono::seconds(1)));
    const auto commands = host_commands(instrument);
    ASSERT_EQ(3u, commands.size());
    EXPECT_EQ(1u, commands[0].address);
    EXPECT_EQ(0x10000u, commands[1].value);
    EXPECT_EQ(20u, commands[2].address);
}

TEST_F(UsbCommands, CommandsForOtherKindsDoNothing) {
    sim::Instrument& instrument = connect_to(config(1, 2, "CK0A.00.20.00"));
    EXPECT_EQ(0, bTOLA_comm_defaults());
    COMM_USB_HOST block{};
    EXPECT_EQ(0, bTOLA_comm_send_command(&block));
    EXPECT_EQ(0, bTOLA_USB_CKII_control(1));
    EXPECT_EQ(0, bTOLA_comm_Controller_command(11, 0));
    EXPECT_EQ(0u, instrument.journal().count(EventKind::Request));
    EXPECT_EQ(0, bTOLA_comm_set_sample_rate(13)) << "index out of range";
    EXPECT_EQ(0, bTOLA_comm_set_sample_rate(-1));
}

TEST_F(UsbCommands, FirstGenerationResetAnswersWithItsStatus) {
    connect_to(config(1, 2, "CK0A.00.20.00"));
    const std::uint32_t begin = platform::tick_ms();
    EXPECT_EQ(1, bTOLA_comm_reset());
    EXPECT_GE(platform::ms_since(begin), 2500u);
    EXPECT_STREQ("Reset Chromatik - OK - ", comm_.ssStatus);
}

TEST_F(UsbCommands, BothControllerNamesBehaveAlike) {
    sim::Instrument& instrument = connect_to_chromatik_v();
    std::array<std::uint8_t, 32> a{}, b{};
    EXPECT_EQ(1, bTOLA_USB_Renesas_read(a.data(), 0x20000000, 32));
    EXPECT_EQ(1, bTOLA_comm_Controller_read(b.data(), 0x20000000, 32));
    EXPECT_EQ(a, b);
    EXPECT_EQ(0, bTOLA_USB_Renesas_read(a.data(), 0x20000000, -1));
    EXPECT_EQ(0, bTOLA_comm_Controller_read(a.data(), 0x20000000, -1));
    EXPECT_EQ(0, bTOLA_USB_Renesas_read(nullptr, 0x20000000, 4));
    EXPECT_EQ(0, bTOLA_comm_Controller_read(nullptr, 0x20000000, 4));
    EXPECT_EQ(0, bTOLA_USB_Renesas_write(a.data(), 0x30000000, 4, 10)) << "outside every window";
    EXPECT_EQ(0, bTOLA_comm_Controller_write(a.data(), 0x30000000, 4, 10));
    EXPECT_EQ(1, bTOLA_USB_Renesas_command(11, 0));
    EXPECT_EQ(1, bTOLA_comm_Controller_command(12, 0));
    EXPECT_TRUE(instrument.in_update_mode());
}

TEST_F(UsbCommands, LeaveUpdateModeRestartsTheInstrument) {
    sim::InstrumentConfig c = config(4);
    c.restart_silence = std::chrono::milliseconds(300);
    sim::Instrument& instrument = connect_to(c);
    ASSERT_EQ(1, bTOLA_comm_Controller_command(11, 0));
    ASSERT_EQ(1, bTOLA_comm_Controller_command(10, 0));
    ASSERT_TRUE(instrument.journal().wait_for(EventKind::Restart, 1, std::chrono::seconds(2)));
    TOLA_comm_close();
    ASSERT_TRUE(instrument.wait_until_present(false, std::chrono::seconds(2)));
    ASSERT_TRUE(instrument.wait_until_present(true, std::chrono::seconds(3)));
    EXPECT_EQ(1, connect());
}

TEST_F(UsbCommands, CallersBlockStaysAsItWasWhenTheInstrumentNeverFinishes) {
    sim::InstrumentConfig c = config(4);
    c.command_delay = std::chrono::milliseconds(60000);
    connect_to(c);
    COMM_USB_HOST block{};
    block.qdWord[0] = 0x80000000;
    block.qdWord[1] = 21;
    block.qdWord[9] = 0xA5A5A5A5;
    block.qdWord[14] = 200;
    const COMM_USB_HOST sent = block;
    EXPECT_EQ(0, bTOLA_comm_send_command(&block));
    EXPECT_EQ(0, std::memcmp(&sent, &block, sizeof block)) << "a partial answer reached the caller";
}

TEST_F(UsbCommands, SectorEraseMayTakeLongerThanAnyOtherRequest) {
    sim::InstrumentConfig c = config(4);
    c.erase_time = std::chrono::milliseconds(3500);
    sim::Instrument& instrument = connect_to(c);
    ASSERT_EQ(1, bTOLA_comm_Controller_command(11, 0));
    EXPECT_EQ(1, bTOLA_comm_Controller_command(9, 5)) << "the erase outlasted its reply window";
    EXPECT_EQ(1u, instrument.journal().count(EventKind::Erase));
    EXPECT_EQ(1, bTOLA_comm_Controller_command(12, 0)) << "the connection stays usable";
}

TEST_F(UsbCommands, FirstGenerationBiasKeepsTheInstrumentsSampleRate) {
    sim::Instrument& instrument = connect_to(config(1, 2, "CK0A.00.20.00"));
    const auto parameters = instrument.layout().find(10);
    ASSERT_TRUE(parameters.has_value());
    // Bias 0, rate settings 3 and -2 (index 3), big-endian as the instrument keeps them.
    const std::vector<std::uint8_t> rate_three{0, 0, 0, 0, 0, 3, 0xFF, 0xFE, 0, 0};
    ASSERT_TRUE(instrument.poke(parameters->address, rate_three));
    structures::host_copies().ps_parameters.fill(0);

    ASSERT_EQ(1, bTOLA_comm_set_bias(5));
    const std::vector<std::uint8_t> expected{0, 5, 0, 0, 0, 3, 0xFF, 0xFE, 0, 0};
    EXPECT_EQ(expected, *instrument.peek(parameters->address, 10));
    int16_t bias = 0;
    int32_t rate = -1;
    ASSERT_EQ(1, bTOLA_comm_get_current_BRLL(&bias, &rate, nullptr));
    EXPECT_EQ(5, bias);
    EXPECT_EQ(3, rate);
}

TEST_F(UsbCommands, FirstGenerationRateIsNotWrittenWhenTheParametersCannotBeRead) {
    sim::Instrument& instrument = connect_to(config(1, 2, "CK0A.00.20.00"));
    const auto parameters = instrument.layout().find(10);
    ASSERT_TRUE(parameters.has_value());
    const auto before = instrument.peek(parameters->address, 10);
    instrument.refuse_next(usbchannel::kBulkRead, 1);
    EXPECT_EQ(0, bTOLA_comm_set_sample_rate(8));
    EXPECT_EQ(before, instrument.peek(parameters->address, 10));
    EXPECT_EQ(0u, host_commands(instrument).size());
}

TEST_F(UsbCommands, FirstGenerationHostModeShowsItsTextFirst) {
    sim::Instrument& instrument = connect_to(config(1, 2, "CK0A.00.20.00"));
    TOLA_comm_slave_mode();
    const auto display = instrument.layout().find(12);
    ASSERT_TRUE(display.has_value());
    const auto text = *instrument.peek(display->address, display->size);
    const std::string shown(text.begin(), text.end());
    EXPECT_NE(std::string::npos, shown.find("Slave Mode"));
    ASSERT_TRUE(instrument.journal().wait_for(EventKind::HostCommand, 1, std::chrono::seconds(1)));
    const auto commands = host_commands(instrument);
    EXPECT_EQ(0x302u, commands.back().value);
    EXPECT_EQ(7u, commands.back().address);
}

TEST_F(UsbCommands, LampBitsConfirmedLateAreLookedAtOnceMore) {
    // The H8SX instrument is not polled: its answer is read after the command wait.
    sim::InstrumentConfig c = config(4, 1);
    c.command_delay = std::chrono::milliseconds(150);
    connect_to(c);
    EXPECT_EQ(1, bTOLA_comm_lamp_shutter_LED(3)) << "confirmed on the look 300 ms later";
    EXPECT_EQ(3u, structures::host_copies().host_block.qdWord[9]);
}

TEST_F(UsbCommands, LampBitsNeverConfirmedFail) {
    sim::InstrumentConfig c = config(4, 1);
    c.command_delay = std::chrono::milliseconds(1500);
    connect_to(c);
    EXPECT_EQ(0, bTOLA_comm_lamp_shutter_LED(3));
}

}  // namespace
}  // namespace tola::testing
