// Measurement polls, queue access, event polls and clearing the queue against
// virtual instruments on USB, serial ports and Bluetooth.
#include "comm/commands/command_timing.h"
#include "comm/commands/host_exchange.h"
#include "comm/measurements/measurement_check.h"
#include "comm/measurements/poll_state.h"
#include "comm/platform/usb_channel_frame.h"
#include "comm/platform/clock.h"
#include "comm/structures/host_copies.h"
#include "sim_fixture.h"

#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace tola::testing {
namespace {

using sim::EventKind;

std::string text(const char* field) { return std::string(field, ::strnlen(field, 26)); }

class MeasurementPoll : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        bTOLA_comm_poll_set_details(1);
        // Each test starts from a freshly loaded library's polling state.
        measurements::poll_state() = measurements::PollState{};
        commands::command_wait_ms() = commands::kDefaultCommandWaitMs;
    }
    void TearDown() override {
        // The event poll's interval is also the command wait of later tests.
        commands::command_wait_ms() = commands::kDefaultCommandWaitMs;
        SimTest::TearDown();
    }

    sim::Instrument& start_instrument(sim::InstrumentConfig c) {
        c.measure_time = std::chrono::milliseconds(0);
        return start(std::move(c));
    }

    // Connects over USB, a serial port (COM3) or Bluetooth as the kind asks.
    void open(sim::Instrument& instrument) {
        const int kind = instrument.config().kind;
        if (kind == 2 || kind == 8 || kind == 9) {
            use_serial_port(3, instrument);
            ASSERT_EQ(1, connect(TOLA_PORT_COM1 + 2)) << comm_.ssStatus;
        } else if (kind == 10 || kind == 11) {
            ASSERT_TRUE(instrument.wait_until_present(true, std::chrono::seconds(2)));
            BT_DEVICE device{};
            std::snprintf(device.snBtAddress, sizeof device.snBtAddress, "%s", instrument.bt_address().c_str());
            TOLA_comm_bt_set_device_ex(&device, sizeof device);
            ASSERT_EQ(1, connect(TOLA_PORT_BLUETOOTH)) << comm_.ssStatus;
        } else {
            ASSERT_EQ(1, connect()) << comm_.ssStatus;
        }
    }

    // An only-new poll once the rate limit has passed (the first after an open
    // answers 0 whatever it found).
    std::int32_t poll_new(COMM_MEASUREMENT& record) {
        const std::uint32_t since = platform::ms_since(measurements::poll_state().last_measurement_poll);
        if (since < 500) platform::sleep_ms(500 - since);
        std::memset(&record, 0xEE, sizeof record);
        return bTOLA_comm_poll_measurements(&record, 1);
    }

    // The instrument's results record as it holds it now.
    std::vector<std::uint8_t> instrument_results(sim::Instrument& instrument) {
        const auto layout = instrument.layout();
        return *instrument.peek(layout.addresses[5], layout.sizes[5]);
    }
    static std::string name_in(const std::vector<std::uint8_t>& r, std::size_t at) {
        return text(reinterpret_cast<const char*>(r.data() + at));
    }

    // Event polls until one reports something or the tries run out.
    std::uint32_t event_poll(std::int32_t mask, int tries = 40) {
        for (int i = 0; i < tries; ++i) {
            const std::uint32_t e = tTOLA_comm_poll(mask);
            if (e != 0) return e;
            platform::sleep_ms(60);
        }
        return 0;
    }

    COMM_MEASUREMENT m{};
    char message[501] = {};
};

TEST_F(MeasurementPoll, UsbMeasurementIsReportedOnceWithItsShadesAndPlace) {
    sim::Instrument& instrument = start_instrument(config(4));
    open(instrument);
    instrument.press_trigger();  // a tooth
    EXPECT_EQ(0, poll_new(m)) << "the first poll after an open reports nothing";
    EXPECT_EQ("Tooth", text(m.snMaterial)) << "though the record was filled";
    EXPECT_EQ(0, poll_new(m)) << "that measurement was taken and acknowledged";

    instrument.press_trigger();  // a tab
    ASSERT_EQ(1, poll_new(m));
    const auto r = instrument_results(instrument);
    EXPECT_EQ(sizeof(COMM_MEASUREMENT), m.dSize);
    EXPECT_EQ("Tab", text(m.snMaterial));
    EXPECT_EQ(0x2000u, m.tStatus);
    EXPECT_EQ(name_in(r, 98), text(m.Single.snClassical));
    EXPECT_EQ(name_in(r, 124), text(m.Single.snClassical2));
    EXPECT_EQ(name_in(r, 20), text(m.Single.sn3D));
    EXPECT_NE("", text(m.Single.sn3D));
    EXPECT_EQ(1u, m.iQueue);
    EXPECT_EQ(2u, m.dQueue);
    EXPECT_EQ(1u, m.iAverageCount);
    EXPECT_EQ(0, poll_new(m)) << "reported once";

    // Within 500 ms an only-new poll answers from the rate limit alone.
    instrument.press_trigger();
    instrument.journal().clear();
    platform::sleep_ms(100);
    EXPECT_EQ(0, bTOLA_comm_poll_measurements(&m, 1));
    EXPECT_TRUE(instrument.journal().entries().empty());
    ASSERT_EQ(1, poll_new(m));
    EXPECT_EQ("Tooth Area", text(m.snMaterial)) << "the third kind of the rotation";
    EXPECT_EQ(0x1u, m.tStatus);
}

TEST_F(MeasurementPoll, EchoFlagReplacesTheStatusAndKeepsTheFields) {
    sim::Instrument& instrument = start_instrument(config(4));
    open(instrument);
    poll_new(m);  // the fresh connection's 0
    instrument.press_trigger();
    ASSERT_EQ(1, poll_new(m));
    EXPECT_EQ(0x1000u, m.tStatus);
    ASSERT_TRUE(instrument.send_again());
    ASSERT_EQ(1, poll_new(m));
    EXPECT_EQ(0x40000u, m.tStatus);
    EXPECT_EQ("Tooth", text(m.snMaterial));
    EXPECT_NE("", text(m.Single.snClassical));
    EXPECT_EQ(1u, m.dQueue);
}

TEST_F(MeasurementPoll, ToothAreaThroughTheDetailsCollectsThreeAreas) {
    sim::InstrumentConfig c = config(4);
    c.measure_kind = 2;
    sim::Instrument& instrument = start_instrument(c);
    open(instrument);
    ASSERT_EQ(1, bTOLA_comm_poll_set_details(2));
    poll_new(m);
    const std::uint32_t expected[3] = {0x1, 0x11, 0x222};
    for (int step = 0; step < 3; ++step) {
        instrument.press_trigger();
        ASSERT_EQ(1, poll_new(m)) << step;
        EXPECT_EQ(expected[step], m.tStatus) << step;
        EXPECT_EQ("Tooth Area", text(m.snMaterial));
    }
    const auto r = instrument_results(instrument);
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_GT(m.qArea[k].qfSpectrum[30], 0.0f) << k;
        EXPECT_EQ(name_in(r, 98 + 26 * k), text(m.qArea[k].snClassical)) << "this measurement's names";
        EXPECT_EQ(name_in(r, 20 + 26 * k), text(m.qArea[k].sn3D));
    }
    EXPECT_NE(m.qArea[0].qfParm[1], m.qArea[2].qfParm[1]) << "each area its own values";

    // The same sequence through the results.
    ASSERT_EQ(1, bTOLA_comm_poll_set_details(1));
    const std::uint32_t by_results[3] = {0x1, 0x12, 0x222};
    for (int step = 0; step < 3; ++step) {
        instrument.press_trigger();
        ASSERT_EQ(1, poll_new(m)) << step;
        EXPECT_EQ(by_results[step], m.tStatus) << step;
    }
}

TEST_F(MeasurementPoll, QueueAccessWalksTheQueueAndStopsAtBothEnds) {
    sim::Instrument& instrument = start_instrument(config(4));
    open(instrument);
    for (int i = 0; i < 3; ++i) instrument.press_trigger();  // tooth, tab, tooth area (first area)

    ASSERT_EQ(1, bTOLA_comm_get_queue_measurement(&m, 0));
    EXPECT_EQ(0u, m.iQueue);
    EXPECT_EQ(3u, m.dQueue);
    EXPECT_EQ("Tooth", text(m.snMaterial));
    EXPECT_EQ(0, bTOLA_comm_get_queue_measurement(&m, 1));
    EXPECT_EQ(TOLA_STATUS_QUEUE_RANGE, comm_.tStatus & TOLA_STATUS_HARD_FAILURES);
    ASSERT_EQ(1, bTOLA_comm_get_queue_measurement(&m, 3));
    EXPECT_EQ(1u, m.iQueue);
    EXPECT_EQ("Tab", text(m.snMaterial));
    EXPECT_EQ(0u, comm_.tStatus & TOLA_STATUS_HARD_FAILURES) << "the failure bits tell of the last call only";
    ASSERT_EQ(1, bTOLA_comm_get_queue_measurement(&m, 3));
    EXPECT_EQ(2u, m.iQueue);
    EXPECT_EQ(0, bTOLA_comm_get_queue_measurement(&m, 3));
    EXPECT_EQ(TOLA_STATUS_QUEUE_RANGE, comm_.tStatus & TOLA_STATUS_HARD_FAILURES);
    EXPECT_EQ(3u, m.dQueue);

    m.iQueue = 7;
    EXPECT_EQ(0, bTOLA_comm_get_queue_measurement(&m, 2));
    EXPECT_EQ(TOLA_STATUS_QUEUE_RANGE, comm_.tStatus & TOLA_STATUS_HARD_FAILURES);
    m.iQueue = 1;
    ASSERT_EQ(1, bTOLA_comm_get_queue_measurement(&m, 2));
    EXPECT_EQ(1u, m.iQueue);
    EXPECT_EQ("Tab", text(m.snMaterial));
    ASSERT_EQ(1, bTOLA_comm_get_queue_measurement(&m, 4));
    EXPECT_EQ(1u, m.iQueue) << "the instrument's current entry";
    EXPECT_EQ(3u, m.dQueue);

    // The caller's shorter records get their part of the record.
    std::vector<std::uint8_t> small(100, 0xEE);
    ASSERT_EQ(1, bTOLA_comm_get_queue_measurement_ex(reinterpret_cast<COMM_MEASUREMENT*>(small.data()), 100, 0));
    std::uint32_t size = 0;
    std::memcpy(&size, small.data(), 4);
    EXPECT_EQ(2392u, size);
    EXPECT_EQ("Tooth", text(reinterpret_cast<const char*>(small.data() + 12)));
    std::vector<std::uint8_t> program(2392, 0xEE);
    ASSERT_EQ(1, bTOLA_comm_get_queue_measurement_ex(reinterpret_cast<COMM_MEASUREMENT*>(program.data()), 2376, 3));
    for (std::size_t i = 2376; i < program.size(); ++i) ASSERT_EQ(0xEE, program[i]) << "nothing past the caller's size";
}

TEST_F(MeasurementPoll, PollsWithShortBuffersAndWithoutARecord) {
    sim::Instrument& instrument = start_instrument(config(4));
    open(instrument);
    poll_new(m);
    instrument.press_trigger();
    std::vector<std::uint8_t> small(100, 0xEE);
    platform::sleep_ms(500);
    ASSERT_EQ(1, bTOLA_comm_poll_measurements_ex(reinterpret_cast<COMM_MEASUREMENT*>(small.data()), 100, 1));
    std::uint32_t size = 0;
    std::memcpy(&size, small.data(), 4);
    EXPECT_EQ(2392u, size);

    // Without a record the instrument is asked and acknowledged all the same.
    instrument.press_trigger();
    platform::sleep_ms(500);
    EXPECT_EQ(0, bTOLA_comm_poll_measurements(nullptr, 1));
    EXPECT_EQ(0, poll_new(m)) << "acknowledged by the poll without a record";
}

TEST_F(MeasurementPoll, EventPollReportsMeasurementsDataAndHostBlockChanges) {
    sim::Instrument& instrument = start_instrument(config(4));
    open(instrument);
    poll_new(m);
    EXPECT_EQ(0x10u, event_poll(0x10)) << "the first look at the host block is a change";
    EXPECT_EQ(0u, event_poll(0x10, 3));

    instrument.press_trigger();
    const std::uint32_t e = event_poll(0x8 | 0x2);
    EXPECT_EQ(0x8u | 0x2u, e) << "fetched and acknowledged; the live data moved";
    ASSERT_EQ(1, bTOLA_comm_poll_measurements(&m, 0));
    EXPECT_EQ("Tooth", text(m.snMaterial));

    // A calibration raises the event without a state that offers a measurement.
    ASSERT_EQ(1, bTOLA_comm_calibrate());
    EXPECT_EQ(0x4u, event_poll(0x8 | 0x4)) << "pending, not fetched";

    // A slow sample rate lets the instrument ask for polls by its sample
    // interval: samples / 40 ms, at most 2 s (here 10 s asked).  Within it the
    // poll answers alone.
    CKNG_SETTINGS settings = structures::host_copies().settings;
    settings.dSamples = 400000;
    ASSERT_EQ(1, bTOLA_Transfer_local_structure(&comm_, &settings, CKPSTRUCT_SETTINGS | CKPSTRUCT_LOCAL,
                                                sizeof settings, 1, message));
    ASSERT_EQ(1, bTOLA_comm_set_sample_rate(3));
    EXPECT_NE(0u, structures::host_copies().host_block.qdWord[15] & 0x8);
    instrument.journal().clear();
    EXPECT_EQ(0u, tTOLA_comm_poll(0x10 | 0x8));
    platform::sleep_ms(100);
    EXPECT_EQ(0u, tTOLA_comm_poll(0x10 | 0x8));
    EXPECT_TRUE(instrument.journal().entries().empty());
    // The interval is also the command wait and the H8SX write step: a
    // settings record cannot stretch it to minutes.
    EXPECT_EQ(2000u, commands::command_wait_ms());
}

TEST_F(MeasurementPoll, AMeasurementThatCannotBeFetchedIsNotAcknowledgedAndComesAgain) {
    sim::Instrument& instrument = start_instrument(config(4));
    open(instrument);
    poll_new(m);
    for (const std::int32_t details : {1, 2}) {  // the results, or the details
        SCOPED_TRACE("details flags " + std::to_string(details));
        ASSERT_EQ(1, bTOLA_comm_poll_set_details(details));
        instrument.press_trigger();
        ASSERT_TRUE(commands::host_exchange(nullptr, 0));
        instrument.refuse_next(usbchannel::kReceive, 1);  // the structure's read
        EXPECT_FALSE(measurements::measurement_check(measurements::LinkFamily::Usb, true, false).ok);
        instrument.clear_faults();
        // The flags were left set: the next poll finds the measurement and reads it.
        ASSERT_EQ(1, poll_new(m));
        EXPECT_NE("", text(m.snMaterial));
        EXPECT_EQ(0, poll_new(m)) << "acknowledged once it was read";
    }
}

TEST_F(MeasurementPoll, FirstGenerationOnUsbReadsItsTableRing) {
    sim::Instrument& instrument = start_instrument(config(1, 2, "CK0A.00.20.00"));
    open(instrument);
    EXPECT_EQ(TOLA_DEVICE_USB_CHROMATIK, comm_.iDevice);
    poll_new(m);
    instrument.press_trigger();  // entry 0
    instrument.press_trigger();  // entry 11: a tab
    ASSERT_EQ(1, poll_new(m));
    EXPECT_EQ("Tab", text(m.snMaterial));
    EXPECT_EQ(11u, m.iQueue);
    EXPECT_EQ(12u, m.dQueue);
    for (int i = 0; i < 3; ++i) instrument.press_trigger();  // the three areas in entries 10, 9, 8
    ASSERT_EQ(1, poll_new(m));
    EXPECT_EQ(0x222u, m.tStatus);
    EXPECT_EQ("Tooth Area", text(m.snMaterial));
    EXPECT_EQ(8u, m.iQueue);
    for (const auto& area : m.qArea) EXPECT_GT(area.qfSpectrum[0], 0.0f);

    ASSERT_EQ(1, bTOLA_comm_get_queue_measurement(&m, 4));
    EXPECT_EQ(0u, m.iQueue);
    EXPECT_EQ("Tooth", text(m.snMaterial)) << "entry 0 holds the first measurement";
}

TEST_F(MeasurementPoll, UnservedLayoutsMarkTheRecord) {
    sim::Instrument& classic = start_instrument(config(1, 2, "CK0A.00.15.00"));
    open(classic);
    poll_new(m);
    classic.press_trigger();
    EXPECT_EQ(0, poll_new(m));
    EXPECT_EQ(0x8000u, m.tStatus);
}

TEST_F(MeasurementPoll, LaterGenerationBeforeRelease24IsNotServed) {
    sim::Instrument& instrument = start_instrument(config(4, 1, "CK0A.00.23.00"));
    open(instrument);
    poll_new(m);
    instrument.press_trigger();
    EXPECT_EQ(0, poll_new(m));
    EXPECT_EQ(0x8000u, m.tStatus);
}

TEST_F(MeasurementPoll, SerialInstrumentFetchesBothStructures) {
    sim::Instrument& instrument = start_instrument(config(8));
    open(instrument);
    ASSERT_EQ(1, bTOLA_comm_poll_set_details(0));  // ignored on this link
    poll_new(m);
    instrument.press_trigger();
    ASSERT_EQ(1, poll_new(m));
    EXPECT_EQ("Tooth", text(m.snMaterial));
    EXPECT_EQ(0x1000u, m.tStatus);
    EXPECT_EQ(1u, m.dQueue);
    EXPECT_GT(m.Single.qfSpectrum[30], 0.0f) << "interpreted from the details";
}

TEST_F(MeasurementPoll, BluetoothShortRecordIsDecoded) {
    sim::InstrumentConfig c = config(10);
    sim::Instrument& instrument = start_instrument(c);
    open(instrument);
    ASSERT_EQ(1, bTOLA_comm_poll_set_details(4 | 1));
    poll_new(m);
    instrument.press_trigger();
    ASSERT_EQ(1, poll_new(m));
    const auto r = instrument_results(instrument);
    EXPECT_EQ("Tooth", text(m.snMaterial));
    EXPECT_EQ(name_in(r, 98), text(m.Single.snClassical)) << "decoded from the codes";
    EXPECT_EQ(name_in(r, 20), text(m.Single.sn3D));
    EXPECT_EQ(name_in(r, 524), text(m.qsn3DInterp[0]));
    EXPECT_EQ(name_in(r, 602), text(m.qsn3DBlock[0]));
    float L = 0;
    std::memcpy(&L, r.data() + 176 + 4, 4);
    EXPECT_NEAR(L, m.Single.qfParm[1], 1.0f / 218);
    // The library's details copy came from the short record too.
    EXPECT_EQ(name_in(r, 98), text(structures::host_copies().details.qsnClassical[0]));
}

TEST_F(MeasurementPoll, BluetoothWhitenessKind) {
    sim::InstrumentConfig c = config(10);
    c.measure_kind = 12;
    sim::Instrument& instrument = start_instrument(c);
    open(instrument);
    ASSERT_EQ(1, bTOLA_comm_poll_set_details(1));
    poll_new(m);
    instrument.press_trigger();
    ASSERT_EQ(1, poll_new(m)) << "state 91 is a Bluetooth state";
    EXPECT_EQ(0x80000u, m.tStatus);
    EXPECT_EQ(3u, m.iAverageCount);
    EXPECT_GE(m.iWIO2BGU, 12u);

    // Composed from the host copies after fetching the details.
    ASSERT_EQ(1, bTOLA_comm_poll_set_details(3));
    instrument.press_trigger();
    ASSERT_EQ(1, poll_new(m));
    COMM_MEASUREMENT composed{};
    ASSERT_EQ(1, bTOLA_Transfer_local_structure(&comm_, &composed, CKPSTRUCT_COMMMEASUREMENT | CKPSTRUCT_LOCAL,
                                                sizeof composed, 2, message))
        << message;
    EXPECT_EQ(0x80000u, composed.tStatus);
    EXPECT_EQ(m.iWIO2BGU, composed.iWIO2BGU);
    EXPECT_EQ(m.dQueue, composed.dQueue);
    EXPECT_EQ(0, bTOLA_Transfer_local_structure(&comm_, &composed, CKPSTRUCT_COMMMEASUREMENT, sizeof composed, 2,
                                                message));
    EXPECT_STREQ("Upload FAILED", message);
}

TEST_F(MeasurementPoll, ClassicSerialEchoesArriveAsEvents) {
    sim::Instrument& instrument = start_instrument(config(2, 2, "CK0A.00.20.00"));
    open(instrument);
    poll_new(m);
    instrument.journal().clear();
    EXPECT_EQ(0u, tTOLA_comm_poll(0x4 | 0x10)) << "a new mask sends the echo commands";
    std::vector<std::uint32_t> codes;
    for (const auto& e : instrument.journal().entries(EventKind::Request)) codes.push_back(e.code);
    for (std::uint32_t code : {9u, 26u, 15u, 11u})
        EXPECT_NE(codes.end(), std::find(codes.begin(), codes.end(), code)) << code;

    instrument.press_trigger();
    EXPECT_EQ(0x10u, event_poll(0x4 | 0x10)) << "the trigger switch";
    EXPECT_EQ(1u, structures::host_copies().host_block.qdWord[10]);
    EXPECT_EQ(0x4u, event_poll(0x4 | 0x10)) << "the measurement details";
    EXPECT_EQ(0x8u, event_poll(0x4 | 0x10)) << "the results";
    ASSERT_EQ(1, bTOLA_comm_poll_measurements(&m, 0)) << "asks for the results";
    EXPECT_EQ("Tooth", text(m.snMaterial));
    EXPECT_EQ(12u, m.dQueue);

    EXPECT_EQ(0u, tTOLA_comm_poll(0)) << "echoes off";
    codes.clear();
    for (const auto& e : instrument.journal().entries(EventKind::Request)) codes.push_back(e.code);
    for (std::uint32_t code : {10u, 27u, 16u, 12u})
        EXPECT_NE(codes.end(), std::find(codes.begin(), codes.end(), code)) << code;
}

TEST_F(MeasurementPoll, ClassicSerialOnlyNewPollTakesTheResultsMessage) {
    sim::Instrument& instrument = start_instrument(config(2, 2, "CK0A.00.20.00"));
    open(instrument);
    tTOLA_comm_poll(0x4);  // echoes on
    poll_new(m);
    instrument.press_trigger();
    std::int32_t got = 0;
    for (int i = 0; i < 6 && got == 0; ++i) got = poll_new(m);  // the details message first, then the results
    ASSERT_EQ(1, got);
    EXPECT_EQ("Tooth", text(m.snMaterial));
    EXPECT_EQ(0u, m.iQueue);
}

TEST_F(MeasurementPoll, ClearingTheQueueOfAnOldReleaseSendsTheServiceBlock) {
    sim::InstrumentConfig c = config(4);
    c.firmware = "2K1";
    sim::Instrument& instrument = start_instrument(c);
    open(instrument);
    instrument.press_trigger();
    instrument.journal().clear();
    ASSERT_EQ(1, bTOLA_comm_clear_queue());
    // Without a command time in the library's copy of the host block the last
    // command is sent without waiting for it: the instrument carries it out after.
    instrument.journal().wait_for(EventKind::HostCommand, 3, std::chrono::seconds(2));
    std::vector<std::uint32_t> commands;
    for (const auto& e : instrument.journal().entries(EventKind::HostCommand)) commands.push_back(e.value);
    EXPECT_EQ((std::vector<std::uint32_t>{0x2, 0x10000, 0x2}), commands);
    EXPECT_EQ(0, bTOLA_comm_get_queue_measurement(&m, 0)) << "nothing left";
    EXPECT_EQ(0u, m.dQueue);
}

TEST_F(MeasurementPoll, ClearingTheQueueOfANewReleaseSendsStatesOnly) {
    sim::Instrument& instrument = start_instrument(config(4));  // firmware 511vLE
    open(instrument);
    instrument.press_trigger();
    instrument.journal().clear();
    ASSERT_EQ(1, bTOLA_comm_clear_queue());
    instrument.journal().wait_for(EventKind::HostCommand, 2, std::chrono::seconds(2));
    std::vector<std::uint32_t> commands;
    for (const auto& e : instrument.journal().entries(EventKind::HostCommand)) commands.push_back(e.value);
    EXPECT_EQ((std::vector<std::uint32_t>{0x2, 0x2}), commands);
    const auto actions = instrument.journal().entries(EventKind::HostAction);
    ASSERT_FALSE(actions.empty());
    EXPECT_EQ("queue cleared", actions.front().text);
}

TEST_F(MeasurementPoll, ARecordOfTheWrongSizeIsNotUsed) {
    sim::Instrument& instrument = start_instrument(config(4));
    open(instrument);
    poll_new(m);
    instrument.press_trigger();
    comm_.dSize = 100;
    EXPECT_EQ(0, poll_new(m));
    EXPECT_EQ(0x10000u, comm_.tStatus);
    comm_.tStatus = 0x11;
    EXPECT_EQ(0, bTOLA_comm_get_queue_measurement(&m, 4));
    EXPECT_EQ(0x10000u, comm_.tStatus);
    EXPECT_EQ(0u, tTOLA_comm_poll(0xFF));
    comm_.dSize = sizeof comm_;
    comm_.tStatus = 0x11;
    ASSERT_EQ(1, poll_new(m)) << "the measurement waited";
    EXPECT_EQ("Tooth", text(m.snMaterial));
    EXPECT_EQ(0, bTOLA_comm_get_queue_measurement(nullptr, 4));
}

TEST_F(MeasurementPoll, InstrumentThatVanishesLeavesCleanResults) {
    sim::Instrument& instrument = start_instrument(config(4));
    open(instrument);
    poll_new(m);
    instrument.press_trigger();
    instrument.unplug();
    EXPECT_EQ(0, poll_new(m));
    EXPECT_EQ(0, bTOLA_comm_get_queue_measurement(&m, 4));
    EXPECT_NE(0u, comm_.tStatus & TOLA_STATUS_QUEUE_READ_FAILED);
    EXPECT_EQ(0u, tTOLA_comm_poll(0xFF));
    EXPECT_EQ(1, TOLA_comm_close());
    EXPECT_EQ(0, bTOLA_comm_get_queue_measurement(&m, 0));
    EXPECT_NE(0u, comm_.tStatus & TOLA_STATUS_UNKNOWN_PORT) << "no link open";
}

}  // namespace
}  // namespace tola::testing
