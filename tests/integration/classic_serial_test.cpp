// The classic instrument on a serial port: every download request and the data
// message that answers it, the instrument's own messages, structures fetched
// by host-copy address, the parameter commands and host mode.
#include "comm/api/library_state.h"
#include "comm/commands/classic_exchange.h"
#include "comm/links/serial/serial_link.h"
#include "comm/platform/clock.h"
#include "comm/structures/classic_messages.h"
#include "comm/structures/host_copies.h"
#include "sim_fixture.h"

#include <poll.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <vector>

namespace tola::testing {
namespace {

using sim::EventKind;
using structures::host_copies;

// Structure-table words of the instrument's layout.
constexpr std::size_t kSetupWord = 1, kShadeWord = 2, kNormWord = 3, kDetailsWord = 4, kResultsWord = 5,
                      kDataWord = 6;
constexpr std::size_t kDataBlockSize = 216;  // of the release used here

class ClassicSerial : public SimTest {
protected:
    sim::Instrument& connect_classic() {
        sim::Instrument& instrument = start(config(2, 2, "CK0A.00.20.00"));
        use_serial_port(3, instrument);
        EXPECT_EQ(1, connect(TOLA_PORT_COM1 + 2)) << comm_.ssStatus;
        instrument.journal().clear();
        return instrument;
    }

    // Fills a structure in the instrument's memory with one byte value, so
    // that whatever arrives in the host copy can be told from zeros.
    static void fill(sim::Instrument& instrument, std::size_t word, std::uint32_t offset, std::uint32_t size,
                     std::uint8_t value) {
        const auto at = instrument.layout().find(word);
        ASSERT_TRUE(at.has_value()) << "table word " << word;
        const std::vector<std::uint8_t> bytes(size, value);
        ASSERT_TRUE(instrument.poke(at->address + offset, bytes));
    }

    static bool holds(std::span<const std::uint8_t> copy, std::uint8_t value) {
        return std::find(copy.begin(), copy.end(), value) != copy.end();
    }

    std::int32_t upload_at(void* host_copy) {
        message_[0] = '\0';
        return bTOLA_Transfer_structure(0, &comm_, host_copy, 0, 2, message_);
    }

    // Waits (at most 2 s) until the instrument's next message has begun to arrive.
    bool line_has_data() const {
        pollfd p{comm_.hRS232, POLLIN, 0};
        return ::poll(&p, 1, 2000) == 1;
    }

    char message_[501] = {};
};

TEST_F(ClassicSerial, EveryStructureComesByItsHostCopysAddress) {
    sim::Instrument& instrument = connect_classic();
    const std::uint32_t one_table = instrument.layout().sizes[kShadeWord];
    for (std::uint32_t t = 0; t < 4; ++t)
        fill(instrument, kShadeWord, t * one_table, one_table, static_cast<std::uint8_t>(0x11 * (t + 1)));
    fill(instrument, kSetupWord, 0, instrument.layout().sizes[kSetupWord], 0x51);
    fill(instrument, kNormWord, 0, instrument.layout().sizes[kNormWord], 0x52);
    fill(instrument, kDetailsWord, 0, instrument.layout().sizes[kDetailsWord], 0x53);
    fill(instrument, kResultsWord, 0, instrument.layout().sizes[kResultsWord], 0x54);

    auto& h = host_copies();
    std::memset(&h.version, 0, sizeof h.version);
    ASSERT_EQ(1, upload_at(&h.version)) << message_;
    EXPECT_STREQ("CK0A.00.20.00", h.version.snVersion);

    std::memset(&h.table, 0, sizeof h.table);
    ASSERT_EQ(1, upload_at(&h.table)) << message_;
    EXPECT_EQ(instrument.layout().find(0)->address, h.table.dCOMM_VERSION);

    // Each request brings one whole table, into its own host copy.
    h.shade_tables.fill(0);
    for (std::size_t t = 0; t < 4; ++t) {
        std::uint8_t* table = h.shade_tables.data() + t * structures::kShadeTableSize;
        ASSERT_EQ(1, upload_at(table)) << "table " << t << ": " << message_;
        for (std::size_t other = 0; other < 4; ++other)
            EXPECT_EQ(other <= t,
                      holds({h.shade_tables.data() + other * structures::kShadeTableSize, structures::kShadeTableSize},
                            static_cast<std::uint8_t>(0x11 * (other + 1))))
                << "after request " << 35 + t << ", table " << other;
    }

    h.first_gen_setup.fill(0);
    ASSERT_EQ(1, upload_at(h.first_gen_setup.data())) << message_;
    EXPECT_TRUE(holds(h.first_gen_setup, 0x51));
    h.first_gen_norm.fill(0);
    ASSERT_EQ(1, upload_at(h.first_gen_norm.data())) << message_;
    EXPECT_TRUE(holds(h.first_gen_norm, 0x52));
    std::memset(&h.details, 0, sizeof h.details);
    ASSERT_EQ(1, upload_at(&h.details)) << message_;
    EXPECT_TRUE(holds({reinterpret_cast<const std::uint8_t*>(&h.details), sizeof h.details}, 0x53));
    h.first_gen_results.fill(0);
    ASSERT_EQ(1, upload_at(h.first_gen_results.data())) << message_;
    EXPECT_TRUE(holds(h.first_gen_results, 0x54));

    std::vector<std::uint32_t> requests;
    for (const auto& e : instrument.journal().entries(EventKind::Request)) requests.push_back(e.code);
    EXPECT_EQ((std::vector<std::uint32_t>{30, 40, 35, 36, 37, 38, 31, 33, 34, 41}), requests);
}

TEST_F(ClassicSerial, ParametersAndDataBlockComeByTheirCommands) {
    sim::Instrument& instrument = connect_classic();
    fill(instrument, kDataWord, 0, kDataBlockSize, 0x61);
    auto& h = host_copies();
    h.first_gen_data.fill(0);
    ASSERT_TRUE(commands::classic_command(39));
    EXPECT_TRUE(holds(h.first_gen_data, 0x61));

    h.ps_parameters.fill(0);
    ASSERT_TRUE(commands::classic_command(32));
    const commands::ClassicParameters p = commands::load_parameters();
    EXPECT_EQ(0, p.bias);
    EXPECT_EQ(2000, p.rate_a);
    EXPECT_EQ(10, p.rate_b);
}

TEST_F(ClassicSerial, TransferByAddressAnswersForEveryDirection) {
    connect_classic();
    auto& h = host_copies();
    EXPECT_EQ(0, upload_at(&h.settings));
    EXPECT_STREQ("Not supported by Chromatik RS232", message_);
    EXPECT_EQ(0, bTOLA_Transfer_structure(0, &comm_, &h.version, 0, 1, message_));
    EXPECT_STREQ("Download Not Available", message_);
    EXPECT_EQ(0, bTOLA_Transfer_structure(0, &comm_, &h.version, 0, 4, message_));
    EXPECT_STREQ("Transfer unknown", message_);
    EXPECT_EQ(1, bTOLA_Transfer_structure(0, &comm_, &h.settings, 0, 3, message_));
    EXPECT_EQ(StopState::HaltRequested, library_state().stop_state);
    library_state().stop_state = StopState::Running;
}

TEST_F(ClassicSerial, RequestWithoutAnAnswerFailsTheUpload) {
    sim::Instrument& instrument = connect_classic();
    ASSERT_TRUE(instrument.inject("mute=1"));
    EXPECT_EQ(0, upload_at(&host_copies().table));
    EXPECT_STREQ("Upload FAILED", message_);
}

TEST_F(ClassicSerial, SwitchAndLampMessagesCarryAtMostFourBytes) {
    sim::Instrument& instrument = connect_classic();
    std::array<std::uint8_t, 8> buffer{};
    ASSERT_TRUE(instrument.send_message(172, {1, 2, 3, 4}));
    ASSERT_TRUE(line_has_data());
    EXPECT_EQ(172u, structures::classic_receive(buffer.data(), buffer.size()));
    EXPECT_EQ((std::array<std::uint8_t, 8>{1, 2, 3, 4, 0, 0, 0, 0}), buffer);

    buffer.fill(0);
    ASSERT_TRUE(instrument.send_message(173, {9, 8, 7, 6, 5}));
    ASSERT_TRUE(line_has_data());
    EXPECT_EQ(0u, structures::classic_receive(buffer.data(), buffer.size())) << "five bytes are too many";
    EXPECT_EQ("Chromatik packet length error", std::string(comm_.ssStatus));
}

TEST_F(ClassicSerial, SwitchMessageNeedsACallerBufferOfFourBytes) {
    sim::Instrument& instrument = connect_classic();
    std::array<std::uint8_t, 3> small{};
    ASSERT_TRUE(instrument.send_message(172, {1, 2, 3}));
    ASSERT_TRUE(line_has_data());
    EXPECT_EQ(0u, structures::classic_receive(small.data(), small.size()));
    EXPECT_EQ((std::array<std::uint8_t, 3>{}), small);
}

TEST_F(ClassicSerial, LiveDataLeavesTheLineForTheNextMessage) {
    sim::Instrument& instrument = connect_classic();
    auto& h = host_copies();
    h.first_gen_data.fill(0);
    ASSERT_TRUE(instrument.send_message(176, std::vector<std::uint8_t>(kDataBlockSize, 0x71)));
    ASSERT_TRUE(instrument.send_message(173, {4, 3, 2, 1}));
    std::array<std::uint8_t, 4> lamp{};
    ASSERT_TRUE(line_has_data());
    EXPECT_EQ(176u, structures::classic_receive(lamp.data(), lamp.size()));
    EXPECT_TRUE(holds(h.first_gen_data, 0x71));
    ASSERT_TRUE(line_has_data()) << "the lamp message went with a drain";
    EXPECT_EQ(173u, structures::classic_receive(lamp.data(), lamp.size()));
    EXPECT_EQ((std::array<std::uint8_t, 4>{4, 3, 2, 1}), lamp);
}

TEST_F(ClassicSerial, ShortLiveDataIsRefusedAndLeavesTheDataBlock) {
    sim::Instrument& instrument = connect_classic();
    auto& h = host_copies();
    ASSERT_TRUE(instrument.send_message(176, std::vector<std::uint8_t>(kDataBlockSize, 0x71)));
    ASSERT_TRUE(line_has_data());
    ASSERT_EQ(176u, structures::classic_receive());
    const auto before = h.first_gen_data;

    ASSERT_TRUE(instrument.send_message(176, std::vector<std::uint8_t>(kDataBlockSize / 2, 0x72)));
    ASSERT_TRUE(line_has_data());
    EXPECT_EQ(0u, structures::classic_receive());
    EXPECT_EQ(before, h.first_gen_data) << "a short packet must not be taken as a data block";
}

TEST_F(ClassicSerial, BiasOnAFreshConnectionKeepsTheInstrumentsSampleRate) {
    sim::Instrument& instrument = connect_classic();
    host_copies().ps_parameters.fill(0);
    ASSERT_EQ(1, bTOLA_comm_set_bias(5));
    std::vector<std::uint32_t> requests;
    for (const auto& e : instrument.journal().entries(EventKind::Request)) requests.push_back(e.code);
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(32u, requests.front()) << "the parameters are read before they are written";

    host_copies().ps_parameters.fill(0);
    ASSERT_TRUE(commands::classic_command(32));
    const commands::ClassicParameters p = commands::load_parameters();
    EXPECT_EQ(5, p.bias);
    EXPECT_EQ(2000, p.rate_a);
    EXPECT_EQ(10, p.rate_b);
}

TEST_F(ClassicSerial, HostModeClearsTheDisplayAndShowsTheIdleState) {
    sim::Instrument& instrument = connect_classic();
    TOLA_comm_slave_mode();
    std::vector<std::uint32_t> requests;
    std::uint32_t text_length = 0;
    for (const auto& e : instrument.journal().entries(EventKind::Request)) {
        if (!requests.empty() && requests.back() == e.code) {
            text_length = e.length;  // the display item's block follows its code
            continue;
        }
        requests.push_back(e.code);
    }
    EXPECT_EQ((std::vector<std::uint32_t>{3, 128, 129, 11, 17}), requests);
    EXPECT_EQ(std::strlen("Idle State") + 21, text_length);
}

}  // namespace
}  // namespace tola::testing
