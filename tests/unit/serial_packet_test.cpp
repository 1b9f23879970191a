// The packet protocol against a scripted byte stream and a stepped clock:
// framing, acknowledgements and refusals, block receive, link check,
// keep-alive, memory windows and transfers, error classes.
#include "comm/api/library_state.h"
#include "comm/links/serial/codes.h"
#include "comm/links/serial/memory_transfer.h"
#include "comm/links/serial/packet_link.h"
#include "comm/platform/serial_port.h"
#include "tests/support/fake_stream.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <numeric>

namespace tola::testing {
namespace {

using serial::Header;
using serial::LinkError;
using serial::PacketLink;

std::vector<std::uint8_t> bytes_of(std::size_t n, std::uint8_t seed = 1) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(seed + i * 13);
    return v;
}

// A packet as the instrument sends it, with optional damage to sum or XOR.
std::vector<std::uint8_t> packet(std::uint8_t code, std::uint8_t total, std::uint8_t number,
                                 const std::vector<std::uint8_t>& data, int sum_delta = 0, int xor_delta = 0) {
    Header h = serial::make_header(code, total, number, data.data(), data.size());
    h[3] = static_cast<std::uint8_t>(h[3] + sum_delta);
    h[5] = static_cast<std::uint8_t>(h[5] ^ xor_delta);
    std::vector<std::uint8_t> out(h.begin(), h.end());
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

int halt_after = 0;
void halting_hook(std::int32_t count) {
    if (count > 0 && --halt_after == 0) library_state().stop_state = StopState::HaltRequested;
}

class SerialProtocol : public ::testing::Test {
protected:
    void SetUp() override {
        comm_.dSize = sizeof(PXM_COMM);
        comm_.hRS232 = 42;
        comm_.hUSB = -1;
        comm_.iDevice = TOLA_DEVICE_SERIAL_MAPPED_A;
        saved_ = library_state().record;
        library_state().record = &comm_;
        library_state().stop_state = StopState::Running;
    }
    void TearDown() override {
        library_state().record = saved_;
        library_state().stop_state = StopState::Running;
        library_state().progress_hook = nullptr;
    }

    PacketLink link(const serial::LinkProfile& profile = serial::kSerialProfile) {
        return PacketLink(stream_, state_, profile, clock_);
    }
    void set_status(const char* text) { std::strcpy(comm_.ssStatus, text); }
    bool failure_bit() const { return (comm_.tStatus & TOLA_STATUS_SERIAL_FAILURE) != 0; }

    SteppedClock clock_;
    FakeStream stream_{clock_};
    serial::LinkState state_;
    PXM_COMM comm_{};
    PXM_COMM* saved_ = nullptr;
};

// ---- framing ---------------------------------------------------------------

TEST_F(SerialProtocol, HeaderCarriesLengthSumXorTotalAndNumber) {
    const std::vector<std::uint8_t> data{0xFF, 0xFF, 0x01};
    const Header h = serial::make_header(53, 7, 3, data.data(), data.size());
    EXPECT_EQ((Header{53, 3, 0, 0xFF, 0x01, 0x01, 7, 3}), h);

    // The sum wraps at 16 bits: 300 x 0xFF = 76500 = 0x12AD4.
    const std::vector<std::uint8_t> many(300, 0xFF);
    const Header w = serial::make_header(52, 1, 1, many.data(), many.size());
    EXPECT_EQ(0x2C, w[1]);
    EXPECT_EQ(0x01, w[2]);
    EXPECT_EQ(0xD4, w[3]);
    EXPECT_EQ(0x2A, w[4]);
    EXPECT_EQ(0x00, w[5]);
}

TEST_F(SerialProtocol, EmptyPacketCarriesZeroSumAndXor) {
    ASSERT_TRUE(link().send_packet(40, 1, 1, nullptr, 0, false, 0));
    EXPECT_EQ((std::vector<std::uint8_t>{40, 0, 0, 0, 0, 0, 1, 1}), stream_.written);
}

TEST_F(SerialProtocol, BlockOf500BytesIsOnePacketAnd501AreTwo) {
    const auto data = bytes_of(501);
    stream_.feed({40, 40});
    ASSERT_TRUE(link().send_block(40, data.data(), 500));
    std::vector<std::uint8_t> expected{40};
    const auto one = packet(40, 1, 1, {data.begin(), data.begin() + 500});
    expected.insert(expected.end(), one.begin(), one.end());
    EXPECT_EQ(expected, stream_.written);

    stream_.written.clear();
    stream_.feed({40, 40, 40});
    const std::uint32_t start = clock_.now();
    ASSERT_TRUE(link().send_block(40, data.data(), 501));
    expected = {40};
    const auto first = packet(40, 2, 1, {data.begin(), data.begin() + 500});
    const auto second = packet(40, 2, 2, {data.begin() + 500, data.end()});
    expected.insert(expected.end(), first.begin(), first.end());
    expected.insert(expected.end(), second.begin(), second.end());
    EXPECT_EQ(expected, stream_.written);
    // Each packet keeps the header-to-data and after-packet pauses.
    EXPECT_GE(clock_.now() - start, 2u * (serial::kHeaderToDataMs + serial::kAfterPacketMs));
}

TEST_F(SerialProtocol, BlockStopsAtTheFirstUnacknowledgedPacket) {
    const auto data = bytes_of(1200);
    stream_.feed({40, 40, 203});
    EXPECT_FALSE(link().send_block(40, data.data(), data.size()));
    EXPECT_STREQ("Chromatik parity error", comm_.ssStatus);
    EXPECT_EQ(1u + 2u * (8u + 500u), stream_.written.size());  // the third packet never went out
}

TEST_F(SerialProtocol, ClassicInstrumentGetsOneByteAtATimeOthersTheWholeBuffer) {
    const auto data = bytes_of(5);
    comm_.iDevice = TOLA_DEVICE_SERIAL_CLASSIC;
    ASSERT_TRUE(link().write(data.data(), data.size()));
    EXPECT_EQ((std::vector<std::size_t>{1, 1, 1, 1, 1}), stream_.write_sizes);

    stream_.write_sizes.clear();
    comm_.iDevice = TOLA_DEVICE_SERIAL_MAPPED_B;
    ASSERT_TRUE(link().write(data.data(), data.size()));
    EXPECT_EQ((std::vector<std::size_t>{5}), stream_.write_sizes);

    stream_.write_sizes.clear();
    comm_.iDevice = TOLA_DEVICE_SERIAL_CLASSIC;
    ASSERT_TRUE(link(serial::kBluetoothProfile).write(data.data(), data.size()));
    EXPECT_EQ((std::vector<std::size_t>{5}), stream_.write_sizes);
}

TEST_F(SerialProtocol, HaltBetweenClassicBytesEndsTheWrite) {
    comm_.iDevice = TOLA_DEVICE_SERIAL_CLASSIC;
    halt_after = 2;
    library_state().progress_hook = halting_hook;
    const auto data = bytes_of(5);
    EXPECT_FALSE(link().write(data.data(), data.size()));
    EXPECT_EQ(2u, stream_.written.size());
    EXPECT_EQ('\0', comm_.ssStatus[0]);
}

TEST_F(SerialProtocol, PlatformFailuresAreClassified) {
    struct Case {
        std::uint32_t comm_class;
        LinkError error;
    };
    const Case cases[] = {{0, LinkError::None},
                          {1, LinkError::RxOverflow},
                          {2, LinkError::TxOverrun},
                          {4, LinkError::RxParity},
                          {8, LinkError::RxFrame},
                          {256, LinkError::TxFull},
                          {1024, LinkError::IoAccess},
                          {platform::comm_error::kOtherFlag | 5, LinkError::Other},
                          {16, LinkError::Other}};
    for (const Case& c : cases) EXPECT_EQ(c.error, serial::classify(c.comm_class)) << c.comm_class;

    stream_.fail_class = platform::comm_error::kFrame;
    const auto data = bytes_of(4);
    EXPECT_FALSE(link().write(data.data(), data.size()));
    EXPECT_STREQ("RS232 RX frame", comm_.ssStatus);
    EXPECT_TRUE(failure_bit());
}

// ---- acknowledgements and refusals ------------------------------------------

TEST_F(SerialProtocol, AcknowledgementByteZeroFailsSilently) {
    set_status("before");
    stream_.feed({0});
    EXPECT_FALSE(link().wait_ack(52, 1000));
    EXPECT_STREQ("before", comm_.ssStatus);
    EXPECT_FALSE(failure_bit());
}

TEST_F(SerialProtocol, IdentifyAnswersCountOnlyForTheLinkCheckCode) {
    stream_.feed({231});
    EXPECT_TRUE(link().wait_ack(serial::code::kNop, 100));
    stream_.feed({230});
    EXPECT_FALSE(link().wait_ack(52, 1000));
    EXPECT_STREQ("Chromatik unknown command", comm_.ssStatus);
    EXPECT_TRUE(failure_bit());
}

TEST_F(SerialProtocol, BluetoothSkipsStrayIdentifyAnswers) {
    stream_.feed({230, 231, 59});
    EXPECT_TRUE(link(serial::kBluetoothProfile).wait_ack(59, 1000));
    EXPECT_EQ(0u, stream_.unread());
}

TEST_F(SerialProtocol, ReceivedRefusalsCarryTheirTexts) {
    const std::pair<std::uint8_t, const char*> cases[] = {
        {200, "Chromatik unknown command"},     {201, "Chromatik wrong command"},
        {202, "Chromatik checksum error"},      {203, "Chromatik parity error"},
        {204, "Chromatik timeout error"},       {205, "Chromatik packet length error"},
        {206, "Chromatik number packets error"}, {207, "Chromatik packet order error"},
        {208, "Chromatik wrong num packets error"}, {99, "Chromatik unknown command"},
    };
    for (const auto& [refusal, text] : cases) {
        comm_.tStatus = 0;
        stream_.feed({refusal});
        EXPECT_FALSE(link().wait_ack(52, 1000));
        EXPECT_STREQ(text, comm_.ssStatus) << int{refusal};
        EXPECT_TRUE(failure_bit());
    }
}

TEST_F(SerialProtocol, SilenceIsNoAcknowledgementAfterTheTimeOut) {
    const std::uint32_t start = clock_.now();
    EXPECT_FALSE(link().send_command(30));
    EXPECT_STREQ("Chromatik did not acknowledge", comm_.ssStatus);
    EXPECT_GE(clock_.now() - start, serial::kCommandAckMs);
}

TEST_F(SerialProtocol, NothingHappensWithoutAnOpenLink) {
    set_status("kept");
    comm_.hRS232 = -1;
    stream_.feed({201});
    EXPECT_FALSE(link().wait_ack(52, 1000));
    EXPECT_FALSE(link().send_code(1));
    serial::report(LinkError::Timeout);
    EXPECT_STREQ("kept", comm_.ssStatus);
    EXPECT_FALSE(failure_bit());
    EXPECT_TRUE(stream_.written.empty());
    EXPECT_EQ(1u, stream_.unread());

    comm_.hRS232 = 42;
    comm_.dSize = 663;
    EXPECT_FALSE(link().send_code(1));
    EXPECT_TRUE(stream_.written.empty());
}

// ---- receiving packets and blocks -------------------------------------------

struct Malformed {
    const char* name;
    std::vector<std::uint8_t> bytes;
    std::size_t capacity;
    std::uint8_t refusal;
    const char* text;
};

TEST_F(SerialProtocol, MalformedPacketsAreRefusedWithTheirCode) {
    const auto data = bytes_of(40);
    const Malformed cases[] = {
        {"sum", packet(51, 1, 1, data, 1), 100, 202, "Chromatik checksum error"},
        {"xor", packet(51, 1, 1, data, 0, 0x10), 100, 203, "Chromatik parity error"},
        {"code", packet(52, 1, 1, data), 100, 201, "Chromatik wrong command"},
        {"capacity", packet(51, 1, 1, data), 39, 205, "Chromatik packet length error"},
        {"short data", {51, 40, 0, 0, 0, 0, 1, 1, 9, 9}, 100, 205, "Chromatik packet length error"},
        {"short header", {51, 40, 0}, 100, 204, "Chromatik timeout error"},
    };
    for (const Malformed& m : cases) {
        stream_.written.clear();
        comm_.tStatus = 0;
        stream_.feed(m.bytes);
        Header h{};
        std::vector<std::uint8_t> buffer(100);
        std::size_t length = 99;
        EXPECT_FALSE(link().receive_packet(51, h, buffer.data(), m.capacity, length)) << m.name;
        EXPECT_EQ(0u, length) << m.name;
        EXPECT_EQ((std::vector<std::uint8_t>{m.refusal}), stream_.written) << m.name;
        EXPECT_STREQ(m.text, comm_.ssStatus) << m.name;
        EXPECT_TRUE(failure_bit()) << m.name;
        stream_.clear_input();
    }
}

TEST_F(SerialProtocol, HeaderWindowIsTwoSeconds) {
    const std::uint32_t start = clock_.now();
    Header h{};
    std::uint8_t buffer[8];
    std::size_t length = 0;
    EXPECT_FALSE(link().receive_packet(51, h, buffer, sizeof buffer, length));
    EXPECT_GE(clock_.now() - start, serial::kHeaderWindowMs);
    EXPECT_EQ((std::vector<std::uint8_t>{204}), stream_.written);
}

TEST_F(SerialProtocol, PacketAfterAConsumedCodeByteReadsSevenHeaderBytes) {
    const auto data = bytes_of(12);
    auto bytes = packet(152, 1, 1, data);
    bytes.erase(bytes.begin());
    stream_.feed(bytes);
    Header h{};
    std::vector<std::uint8_t> buffer(12);
    std::size_t length = 0;
    ASSERT_TRUE(link().receive_packet(0, h, buffer.data(), buffer.size(), length));
    EXPECT_EQ(12u, length);
    EXPECT_EQ(data, buffer);
    EXPECT_EQ(0u, stream_.unread());
}

TEST_F(SerialProtocol, BlockIsAcknowledgedBetweenPacketsAndAtTheEnd) {
    const auto data = bytes_of(600);
    auto bytes = packet(51, 2, 1, {data.begin(), data.begin() + 500});
    const auto second = packet(51, 2, 2, {data.begin() + 500, data.end()});
    bytes.insert(bytes.end(), second.begin(), second.end());
    stream_.feed(bytes);
    std::vector<std::int32_t> steps;
    static std::vector<std::int32_t>* seen = nullptr;
    seen = &steps;
    library_state().progress_hook = [](std::int32_t n) { seen->push_back(n); };
    std::vector<std::uint8_t> buffer(600);
    ASSERT_TRUE(link().receive_block(51, buffer.data(), buffer.size(), false));
    EXPECT_EQ(data, buffer);
    EXPECT_EQ((std::vector<std::uint8_t>{51, 51}), stream_.written);
    // Every packet is a progress step with its length.
    EXPECT_NE(std::find(steps.begin(), steps.end(), 500), steps.end());
    EXPECT_NE(std::find(steps.begin(), steps.end(), 100), steps.end());
}

struct BlockCase {
    const char* name;
    std::vector<std::vector<std::uint8_t>> packets;
    std::size_t expected_length;
    std::vector<std::uint8_t> written;
    const char* text;
};

TEST_F(SerialProtocol, InconsistentBlocksAreRefused) {
    const auto d = bytes_of(300);
    const BlockCase cases[] = {
        {"complete after two of three", {packet(51, 3, 1, d), packet(51, 3, 2, d)}, 600, {51, 206},
         "Chromatik number packets error"},
        {"too few bytes", {packet(51, 2, 1, d), packet(51, 2, 2, d)}, 700, {51, 208},
         "Chromatik wrong num packets error"},
        {"packet out of order", {packet(51, 3, 1, d), packet(51, 3, 3, d)}, 900, {51, 207},
         "Chromatik packet order error"},
        {"first packet not number 1", {packet(51, 2, 2, d)}, 600, {207}, "Chromatik packet order error"},
    };
    for (const BlockCase& c : cases) {
        stream_.written.clear();
        for (const auto& p : c.packets) stream_.feed(p);
        std::vector<std::uint8_t> buffer(c.expected_length);
        EXPECT_FALSE(link().receive_block(51, buffer.data(), buffer.size(), false)) << c.name;
        EXPECT_EQ(c.written, stream_.written) << c.name;
        EXPECT_STREQ(c.text, comm_.ssStatus) << c.name;
        stream_.clear_input();
    }
}

TEST_F(SerialProtocol, HaltDuringABlockEndsItWithoutText) {
    const auto d = bytes_of(500);
    stream_.feed(packet(51, 2, 1, d));
    stream_.feed(packet(51, 2, 2, d));
    set_status("kept");
    halt_after = 1;
    library_state().progress_hook = halting_hook;
    std::vector<std::uint8_t> buffer(1000);
    EXPECT_FALSE(link().receive_block(51, buffer.data(), buffer.size(), false));
    EXPECT_STREQ("kept", comm_.ssStatus);
    EXPECT_TRUE(stream_.written.empty());
}

// ---- link check and keep-alive -------------------------------------------------

TEST_F(SerialProtocol, LinkCheckReturnsTheInstrumentsAnswer) {
    for (std::uint8_t answer : {std::uint8_t{1}, std::uint8_t{230}, std::uint8_t{231}}) {
        stream_.written.clear();
        set_status("old");
        stream_.feed({answer}, 10);
        EXPECT_EQ(answer, link().link_check());
        EXPECT_EQ((std::vector<std::uint8_t>{1}), stream_.written);
        EXPECT_EQ('\0', comm_.ssStatus[0]);
    }
    stream_.feed({205});
    EXPECT_EQ(0, link().link_check());
    EXPECT_STREQ("Chromatik packet length error", comm_.ssStatus);
    EXPECT_EQ(0, link().link_check());
    EXPECT_STREQ("Chromatik did not acknowledge", comm_.ssStatus);
    EXPECT_FALSE(state_.link_check_busy);
}

TEST_F(SerialProtocol, LinkCheckWaitsForThePacingAfterTheLastWrite) {
    ASSERT_TRUE(link().send_code(17));
    const std::uint32_t written_at = clock_.now();
    stream_.feed({1}, 100);
    EXPECT_EQ(1, link().link_check());
    EXPECT_GE(clock_.now() - written_at, serial::kPacingMs);
}

TEST_F(SerialProtocol, NestedLinkCheckIsRefusedAndClearsTheFlag) {
    state_.link_check_busy = true;
    EXPECT_EQ(0, link().link_check());
    EXPECT_FALSE(state_.link_check_busy);
    EXPECT_TRUE(stream_.written.empty());
}

TEST_F(SerialProtocol, LinkCheckPausesLiveDataOfTheClassicInstrument) {
    comm_.iDevice = TOLA_DEVICE_SERIAL_CLASSIC;
    state_.echo_live_data = true;
    stream_.feed({176, 7, 7, 7, 7});  // live data already on the line
    stream_.feed({1}, 200);
    EXPECT_EQ(1, link().link_check());
    EXPECT_EQ((std::vector<std::uint8_t>{6, 1, 4}), stream_.written);

    // Over Bluetooth there is no live data to pause.
    stream_.written.clear();
    stream_.feed({230}, 10);
    EXPECT_EQ(230, link(serial::kBluetoothProfile).link_check());
    EXPECT_EQ((std::vector<std::uint8_t>{1}), stream_.written);
}

TEST_F(SerialProtocol, FirstMissedKeepAliveIsToleratedTheSecondLosesTheLink) {
    auto l = link();
    EXPECT_TRUE(l.keep_alive());  // sends the check byte
    EXPECT_EQ((std::vector<std::uint8_t>{1}), stream_.written);
    EXPECT_TRUE(state_.check_pending);
    const std::uint32_t start = clock_.now();
    EXPECT_TRUE(l.keep_alive());  // first miss
    EXPECT_EQ(1, state_.missed_answers);
    EXPECT_GE(clock_.now() - start, serial::kSerialProfile.keep_alive_answer_ms);
    EXPECT_FALSE(l.keep_alive());  // second miss
    EXPECT_FALSE(state_.check_pending);
    EXPECT_EQ((std::vector<std::uint8_t>{1}), stream_.written);
}

TEST_F(SerialProtocol, AnsweredKeepAliveResetsTheMissedCount) {
    auto l = link();
    EXPECT_TRUE(l.keep_alive());
    EXPECT_TRUE(l.keep_alive());  // one miss
    stream_.feed({230});
    EXPECT_TRUE(l.keep_alive());
    EXPECT_EQ(0, state_.missed_answers);
    EXPECT_FALSE(state_.check_pending);
    // Within the interval after a read no check byte goes out.
    stream_.written.clear();
    clock_.sleep(4000);
    EXPECT_TRUE(l.keep_alive());
    EXPECT_TRUE(stream_.written.empty());
}

TEST_F(SerialProtocol, BluetoothLosesTheLinkAtTheFirstMiss) {
    auto l = link(serial::kBluetoothProfile);
    EXPECT_TRUE(l.keep_alive());
    EXPECT_FALSE(l.keep_alive());
    EXPECT_FALSE(state_.check_pending);
}

// ---- memory windows and transfers -------------------------------------------------

TEST_F(SerialProtocol, MemoryWindowsBoundRequestsBeforeAnyTraffic) {
    using serial::Access;
    using serial::request_code;
    EXPECT_EQ(51, request_code(serial::kSerialWindows, Access::Read, 0x2000FFF0, 16));
    EXPECT_FALSE(request_code(serial::kSerialWindows, Access::Read, 0x2000FFF0, 17));
    EXPECT_FALSE(request_code(serial::kSerialWindows, Access::Read, 0x2000FFFF, 0));
    EXPECT_EQ(54, request_code(serial::kSerialWindows, Access::Write, 0x080FFF80, 128));
    EXPECT_EQ(55, request_code(serial::kSerialWindows, Access::Read, 0x40000000, 4));
    EXPECT_FALSE(request_code(serial::kSerialWindows, Access::Read, 0x1FFFFFFF, 4));
    EXPECT_FALSE(request_code(serial::kSerialWindows, Access::Read, 0x20000000, 0x10000));
    EXPECT_EQ(54, request_code(serial::kBluetoothWindows, Access::Write, 0x080FFF80, 128));
    EXPECT_FALSE(request_code(serial::kBluetoothWindows, Access::Write, 0x08100000, 128));
    EXPECT_EQ(51, request_code(serial::kBluetoothWindows, Access::Read, 0xE000ED00, 4));
    EXPECT_EQ(52, request_code(serial::kBluetoothWindows, Access::Write, 0x2001FF00, 256));

    std::uint8_t buffer[17];
    auto l = link();
    EXPECT_FALSE(serial::memory_read(l, serial::kSerialWindows, 0x2000FFF0, buffer, 17));
    EXPECT_TRUE(stream_.written.empty());
    EXPECT_EQ(0, stream_.clear_input_calls);
}

TEST_F(SerialProtocol, MemoryReadAndWriteRoundTrip) {
    ScriptedInstrument instrument;
    instrument.sender_pauses = false;
    stream_.instrument = &instrument;
    auto l = link();
    const auto data = bytes_of(1100, 9);
    ASSERT_TRUE(serial::memory_write(l, serial::kSerialWindows, 0x20000100, data.data(), 1100));
    for (std::uint32_t i = 0; i < 1100; ++i) ASSERT_EQ(data[i], instrument.peek(0x20000100 + i)) << i;

    std::vector<std::uint8_t> back(1200);
    ASSERT_TRUE(serial::memory_read(l, serial::kSerialWindows, 0x200000C0, back.data(), 1200));
    for (std::uint32_t i = 0; i < 1200; ++i) ASSERT_EQ(instrument.peek(0x200000C0 + i), back[i]) << i;
    EXPECT_EQ(1, stream_.clear_input_calls);
    EXPECT_EQ((std::vector<std::uint8_t>{52, 51}), instrument.codes_seen);
}

TEST_F(SerialProtocol, PendingKeepAliveAnswerIsTakenBeforeAMemoryWrite) {
    ScriptedInstrument instrument;
    instrument.sender_pauses = false;
    stream_.instrument = &instrument;
    state_.check_pending = true;
    stream_.feed({230});  // the late answer to the check byte
    const std::uint8_t data[4] = {1, 2, 3, 4};
    auto l = link();
    ASSERT_TRUE(serial::memory_write(l, serial::kSerialWindows, 0x40000010, data, 4));
    EXPECT_FALSE(state_.check_pending);
    EXPECT_EQ(4, instrument.peek(0x40000013));
}

TEST_F(SerialProtocol, FailedMemoryReadClearsBothDirections) {
    ScriptedInstrument instrument;
    instrument.refuse_next = 202;
    stream_.instrument = &instrument;
    std::uint8_t buffer[8];
    auto l = link();
    EXPECT_FALSE(serial::memory_read(l, serial::kSerialWindows, 0x08000000, buffer, 8));
    EXPECT_STREQ("Chromatik checksum error", comm_.ssStatus);
    EXPECT_EQ(1, stream_.clear_all_calls);
}

// ---- port names ------------------------------------------------------------

TEST(SerialPortNames, OnlyCom1ToCom20AreSerialPorts) {
    EXPECT_EQ(1, platform::serial_port_number("COM1"));
    EXPECT_EQ(20, platform::serial_port_number("COM20"));
    for (const char* bad : {"COM0", "COM21", "COM01", "com1", "COM", "COM1 ", "LPT1", "COM200"})
        EXPECT_FALSE(platform::serial_port_number(bad)) << bad;
}

TEST(SerialPortNames, EnvironmentNamesTheDevice) {
    ::unsetenv("TOLA_COM12");
    EXPECT_EQ("/dev/ttyS11", platform::serial_device_path(12));
    ::setenv("TOLA_COM12", "/dev/ttyUSB3", 1);
    EXPECT_EQ("/dev/ttyUSB3", platform::serial_device_path(12));
    ::unsetenv("TOLA_COM12");
}

}  // namespace
}  // namespace tola::testing
