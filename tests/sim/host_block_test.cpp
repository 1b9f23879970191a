// Host command handling on the block's words.
#include <array>

#include <gtest/gtest.h>

#include "sim/host_block.h"

namespace tola::sim {
namespace {

using Block = std::array<std::uint32_t, 16>;

TEST(HostBlock, QueryAnswersDeviceTypeOnlyForQuery21) {
    Block b{};
    b[0] = 0x80000000;
    b[1] = 21;
    execute_host_command(b, 5324);
    EXPECT_EQ(b[3], 5324u);
    EXPECT_EQ(b[0], 0u);

    b[0] = 0x80000000;
    b[1] = 40;
    execute_host_command(b, 5324);
    EXPECT_EQ(b[3], 0u);
}

TEST(HostBlock, StateLampBiasAndRateLandInTheirStatusWords) {
    Block b{};
    b[13] = 0xABCD0000;
    b[0] = 0x2 | 0x1 | 0x20;
    b[1] = 53;
    b[2] = 0x7;
    b[6] = 0x1234FFEE;
    execute_host_command(b, 0);
    EXPECT_EQ(b[8], 53u);
    EXPECT_EQ(b[9], 7u);
    EXPECT_EQ(b[13], 0xABCDFFEEu);  // only the low half carries the bias

    b[0] = 0x40000;
    b[7] = 8;
    execute_host_command(b, 0);
    EXPECT_EQ(b[14], 500u);
    b[0] = 0x40000;
    b[7] = 13;  // no such rate
    execute_host_command(b, 0);
    EXPECT_EQ(b[14], 500u);
}

TEST(HostBlock, RestoreDefaultsIsReportedAndShortBlocksStayInBounds) {
    Block b{};
    b[0] = 0x10000;
    b[11] = 30;
    EXPECT_TRUE(execute_host_command(b, 0).restore_defaults);

    std::array<std::uint32_t, 9> shorter{};
    shorter[0] = 0x40000 | 0x1;
    shorter[2] = 3;
    execute_host_command(shorter, 0);
    EXPECT_EQ(shorter[0], 0u);
    EXPECT_EQ(shorter[8], 0u);
}

TEST(HostBlock, CommandsNameWhatTheRestOfTheInstrumentMustDo) {
    Block b{};
    b[0] = 0x2;
    b[1] = 51;
    EXPECT_TRUE(execute_host_command(b, 0).clear_queue);
    b[0] = 0x2;
    b[1] = 53;
    const auto store = execute_host_command(b, 0);
    EXPECT_TRUE(store.store);
    EXPECT_FALSE(store.clear_queue);
    b[0] = 0x10000;
    b[11] = 22;
    const auto service = execute_host_command(b, 0);
    EXPECT_TRUE(service.clear_queue);
    EXPECT_FALSE(service.restore_defaults);

    b[0] = 0x4;  // the first generation's start: word 3 says what
    b[3] = 2;
    const auto start = execute_host_command(b, 0);
    EXPECT_TRUE(start.calibrate);
    EXPECT_FALSE(start.measure);
    b[0] = 0x800000 | 0x1;
    b[2] = 0x3;
    EXPECT_TRUE(execute_host_command(b, 0).measure);
    EXPECT_EQ(b[9], 3u);
    b[0] = 0x8;
    EXPECT_TRUE(execute_host_command(b, 0).read_queue);
    b[0] = 0x302;
    b[1] = 5;
    EXPECT_TRUE(execute_host_command(b, 0).host_mode);
    EXPECT_EQ(b[8], 5u);

    // A flag the firmware does not know: nothing done, the command word cleared.
    b[0] = 0x4000 | 0x2;
    b[1] = 20;
    const auto unknown = execute_host_command(b, 0);
    EXPECT_TRUE(unknown.unknown);
    EXPECT_EQ(b[8], 5u);
    EXPECT_EQ(b[0], 0u);
}

}  // namespace
}  // namespace tola::sim
