// The serial link over a real pseudo-terminal: the library opens the slave as
// "COM5" through TOLA_COM5, the test plays the instrument on the master side.
#include "comm/api/library_state.h"
#include "comm/api/link_steps.h"
#include "comm/links/serial/codes.h"
#include "comm/links/serial/packet.h"
#include "comm/links/serial/serial_link.h"
#include "comm/platform/clock.h"
#include "tests/support/pty_peer.h"

#include <gtest/gtest.h>

#include <cstring>

namespace tola::testing {
namespace {

constexpr int kPort = 5;

std::vector<std::uint8_t> packet(std::uint8_t code, std::uint8_t total, std::uint8_t number,
                                 const std::vector<std::uint8_t>& data) {
    const serial::Header h = serial::make_header(code, total, number, data.data(), data.size());
    std::vector<std::uint8_t> out(h.begin(), h.end());
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

class SerialLink : public ::testing::Test {
protected:
    void SetUp() override {
        peer_.expose_as_port(kPort);
        comm_.dSize = sizeof(PXM_COMM);
        comm_.hUSB = -1;
        comm_.hRS232 = -1;
        saved_ = library_state().record;
        library_state().record = &comm_;
        library_state().stop_state = StopState::Running;
        serial::link_state() = {};
    }
    void TearDown() override {
        peer_.stop();
        serial::close_port(comm_);
        library_state().record = saved_;
    }

    void open(std::uint32_t kind = TOLA_DEVICE_SERIAL_MAPPED_A) {
        ASSERT_TRUE(serial::open_port(comm_, "COM5"));
        comm_.iDevice = kind;
    }

    PtyPeer peer_;
    ScriptedInstrument instrument_;
    PXM_COMM comm_{};
    PXM_COMM* saved_ = nullptr;
};

TEST_F(SerialLink, PortOpensExclusivelyAndClosesCleanly) {
    open();
    EXPECT_GE(comm_.hRS232, 0);
    EXPECT_STREQ("COM5", comm_.snRS232);

    PXM_COMM other{};
    other.dSize = sizeof(PXM_COMM);
    other.hRS232 = -1;
    EXPECT_FALSE(serial::open_port(other, "COM5"));
    EXPECT_EQ(-1, other.hRS232);
    EXPECT_EQ('\0', other.snRS232[0]);

    std::strcpy(comm_.ssStatus, "text");
    const std::uint32_t start = platform::tick_ms();
    link_steps::serial_close(comm_);
    EXPECT_GE(platform::ms_since(start), serial::kCloseSettleMs);
    EXPECT_EQ(-1, comm_.hRS232);
    EXPECT_EQ('\0', comm_.ssStatus[0]);

    ASSERT_TRUE(serial::open_port(other, "COM5"));  // the lock went with the close
    serial::close_port(other);
}

TEST_F(SerialLink, PortThatDoesNotExistLeavesTheStatusAlone) {
    ::setenv("TOLA_COM7", "/nonexistent/tty-of-no-one", 1);
    std::strcpy(comm_.ssStatus, "previous");
    std::strcpy(comm_.snRS232, "COM3");
    EXPECT_FALSE(serial::open_port(comm_, "COM7"));
    EXPECT_STREQ("previous", comm_.ssStatus);
    EXPECT_EQ(-1, comm_.hRS232);
    EXPECT_EQ('\0', comm_.snRS232[0]);
    EXPECT_EQ(0u, comm_.tStatus);

    ::setenv("TOLA_COM7", "/dev/null", 1);  // there, but no serial port
    EXPECT_FALSE(serial::open_port(comm_, "COM7"));
    EXPECT_EQ(-1, comm_.hRS232);
    EXPECT_FALSE(serial::open_port(comm_, "COM21"));
    ::unsetenv("TOLA_COM7");
}

TEST_F(SerialLink, LinkCheckIdentifiesEachGeneration) {
    open(TOLA_DEVICE_NONE);
    peer_.serve(instrument_);
    for (std::uint8_t answer : {std::uint8_t{1}, std::uint8_t{230}, std::uint8_t{231}}) {
        instrument_.identify_answer = answer;
        EXPECT_EQ(answer, serial::link_check());
    }
}

TEST_F(SerialLink, SilentLineFailsTheLinkCheck) {
    open(TOLA_DEVICE_NONE);
    EXPECT_EQ(0, serial::link_check());
    EXPECT_STREQ("Chromatik did not acknowledge", comm_.ssStatus);
    EXPECT_NE(0u, comm_.tStatus & TOLA_STATUS_SERIAL_FAILURE);
}

TEST_F(SerialLink, MemoryBlocksRoundTrip) {
    open();
    instrument_.sender_pauses = false;
    peer_.serve(instrument_);
    std::vector<std::uint8_t> data(1500);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 31 + 5);
    ASSERT_TRUE(serial::memory_write(0x20000200, data.data(), 1500)) << comm_.ssStatus;
    std::vector<std::uint8_t> back(1500);
    ASSERT_TRUE(serial::memory_read(0x20000200, back.data(), 1500)) << comm_.ssStatus;
    EXPECT_EQ(data, back);

    std::vector<std::uint8_t> flash(256);
    ASSERT_TRUE(serial::memory_read(0x080FFF00, flash.data(), 256)) << comm_.ssStatus;
    for (std::uint32_t i = 0; i < 256; ++i) ASSERT_EQ(ScriptedInstrument::pattern(0x080FFF00 + i), flash[i]);
    peer_.stop();
    EXPECT_EQ((std::vector<std::uint8_t>{52, 51, 53}), instrument_.codes_seen);
}

TEST_F(SerialLink, MemoryNeedsAMemoryMappedInstrument) {
    open(TOLA_DEVICE_SERIAL_CLASSIC);
    std::uint8_t buffer[4];
    EXPECT_FALSE(serial::memory_read(0x20000000, buffer, 4));
    EXPECT_TRUE(peer_.received(50).empty());
}

TEST_F(SerialLink, ReceivedRefusalsEndTheTransferWithTheirText) {
    open();
    instrument_.sender_pauses = false;
    peer_.serve(instrument_);
    const std::pair<std::uint8_t, const char*> cases[] = {
        {200, "Chromatik unknown command"},      {201, "Chromatik wrong command"},
        {202, "Chromatik checksum error"},       {203, "Chromatik parity error"},
        {204, "Chromatik timeout error"},        {205, "Chromatik packet length error"},
        {206, "Chromatik number packets error"}, {207, "Chromatik packet order error"},
        {208, "Chromatik wrong num packets error"},
    };
    std::uint8_t buffer[16];
    for (const auto& [refusal, text] : cases) {
        instrument_.refuse_next = refusal;
        comm_.tStatus = 0;
        EXPECT_FALSE(serial::memory_read(0x20000000, buffer, 16)) << int{refusal};
        EXPECT_STREQ(text, comm_.ssStatus) << int{refusal};
        EXPECT_NE(0u, comm_.tStatus & TOLA_STATUS_SERIAL_FAILURE);
    }
}

TEST_F(SerialLink, SentRefusalsReachTheInstrumentWithTheirText) {
    open();
    const std::pair<std::uint8_t, const char*> cases[] = {
        {200, "Chromatik unknown command"},      {201, "Chromatik wrong command"},
        {202, "Chromatik checksum error"},       {203, "Chromatik parity error"},
        {204, "Chromatik timeout error"},        {205, "Chromatik packet length error"},
        {206, "Chromatik number packets error"}, {207, "Chromatik packet order error"},
        {208, "Chromatik wrong num packets error"},
    };
    for (const auto& [refusal, text] : cases) {
        EXPECT_FALSE(serial::link().refuse(refusal));
        EXPECT_EQ((std::vector<std::uint8_t>{refusal}), peer_.received(50)) << int{refusal};
        EXPECT_STREQ(text, comm_.ssStatus);
    }
}

struct BadBlock {
    const char* name;
    std::vector<std::uint8_t> bytes;
    std::size_t length;
    std::uint8_t refusal;
};

TEST_F(SerialLink, BadBlocksFromTheInstrumentAreRefused) {
    open();
    const std::vector<std::uint8_t> d(300, 0x5A);
    auto sum_off = packet(51, 1, 1, d);
    sum_off[3] ^= 1;
    auto xor_off = packet(51, 1, 1, d);
    xor_off[5] ^= 1;
    auto two_of_three = packet(51, 3, 1, d);
    const auto p2 = packet(51, 3, 2, d);
    two_of_three.insert(two_of_three.end(), p2.begin(), p2.end());
    auto out_of_order = packet(51, 3, 1, d);
    const auto p3 = packet(51, 3, 3, d);
    out_of_order.insert(out_of_order.end(), p3.begin(), p3.end());
    const BadBlock cases[] = {
        {"wrong code", packet(52, 1, 1, d), 300, 201},  {"sum", sum_off, 300, 202},
        {"xor", xor_off, 300, 203},                     {"too long", packet(51, 1, 1, d), 200, 205},
        {"complete early", two_of_three, 600, 206},     {"out of order", out_of_order, 900, 207},
        {"short", packet(51, 1, 1, d), 400, 208},
    };
    for (const BadBlock& c : cases) {
        peer_.send(c.bytes);
        std::vector<std::uint8_t> buffer(c.length);
        EXPECT_FALSE(serial::link().receive_block(51, buffer.data(), buffer.size(), false)) << c.name;
        const auto written = peer_.received(50);
        ASSERT_FALSE(written.empty()) << c.name;
        EXPECT_EQ(c.refusal, written.back()) << c.name;
        serial::link().drain(50);  // what is left of the refused packet
    }
}

TEST_F(SerialLink, SilentInstrumentIsRefusedWithTimeoutAfterTheHeaderWindow) {
    open();
    std::vector<std::uint8_t> buffer(8);
    const std::uint32_t start = platform::tick_ms();
    EXPECT_FALSE(serial::link().receive_block(51, buffer.data(), buffer.size(), false));
    EXPECT_GE(platform::ms_since(start), serial::kHeaderWindowMs);
    EXPECT_EQ((std::vector<std::uint8_t>{204}), peer_.received(50));
    EXPECT_STREQ("Chromatik timeout error", comm_.ssStatus);
}

TEST_F(SerialLink, KeepAliveOfAnAnsweringInstrument) {
    open();
    peer_.serve(instrument_);
    EXPECT_TRUE(link_steps::serial_keep_alive(comm_));  // check byte out
    EXPECT_TRUE(serial::link_state().check_pending);
    EXPECT_TRUE(link_steps::serial_keep_alive(comm_));  // answer taken
    EXPECT_FALSE(serial::link_state().check_pending);
    EXPECT_EQ(0, serial::link_state().missed_answers);
}

}  // namespace
}  // namespace tola::testing
