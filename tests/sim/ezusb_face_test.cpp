// The first generation's pipes: memory, flash sectors, loader jump, reset.
#include "sim_test_support.h"

namespace tola::sim::test {
namespace {

struct Classic : ::testing::Test {
    Harness h{classic_config()};
    ChannelClient c = h.connect();
};

TEST_F(Classic, SitsOnTheEzusbNameWhichKnowsOnlyItsOwnDescriptorRequest) {
    EXPECT_EQ(h.instrument.socket_path().filename(), "ezusb-0");
    auto r = c.call(usbchannel::kReadDescriptor, {}, 18);
    ASSERT_TRUE(r);
    EXPECT_FALSE(r->success);
    r = c.call(usbchannel::kReadDescriptorEzusb, {}, 18);
    ASSERT_TRUE(r && r->success);
    EXPECT_EQ(r->output[10] | r->output[11] << 8, 0x5061);
}

TEST_F(Classic, TableReadsInPiecesAndVersionLivesInExternalFlash) {
    auto first = ez_read(c, 0x80800000, 64);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->size(), 64u);
    EXPECT_EQ(be32(*first, 0) >> 24, 0x80u);
    EXPECT_LT(be32(*first, 0), 0x80040000u);
    EXPECT_FALSE(ez_read(c, 0x80800000, 65));
    EXPECT_FALSE(ez_read(c, 0x90000000, 8));  // outside the map: read error status
}

TEST_F(Classic, StatusBytesFollowTheCommand) {
    ASSERT_TRUE(ez_command(c, {0x5C, 0, 0}));
    EXPECT_EQ((*ez_status(c))[0], 0x84);
    ASSERT_TRUE(ez_command(c, ez_addressed(0x23, 0x90000000, 8)));
    EXPECT_EQ((*ez_status(c))[0], 0xFF);
    // A status is read once.
    EXPECT_FALSE(ez_status(c));
}

TEST_F(Classic, RamWritesAndFlashNeedsAnEraseFirst) {
    EXPECT_EQ(ez_write(c, 0x80808000, Bytes(64, 0x42)), 0x22);
    EXPECT_EQ(ez_read(c, 0x80808000, 64), Bytes(64, 0x42));

    const std::uint32_t version = be32(*ez_read(c, 0x80800000, 4));
    EXPECT_EQ(ez_write(c, version, Bytes(8, 0x41)), 0xFF);
    EXPECT_TRUE(h.instrument.journal().flagged(Flag::UnerasedFlashWrite));

    const std::uint8_t sector = static_cast<std::uint8_t>((version - 0x80000000) / 0x2000 + 10);
    ASSERT_TRUE(ez_command(c, {0x21, sector, 0}));
    EXPECT_EQ(*ez_status(c), (Bytes{0x21, 0, 0}));
    EXPECT_EQ(ez_write(c, version, Bytes(8, 0x41)), 0x22);
    const auto erase = h.instrument.journal().entries(EventKind::Erase).at(0);
    EXPECT_EQ(erase.address, 0x80000000u + (sector - 10u) * 0x2000u);
    EXPECT_EQ(erase.length, 0x2000u);

    ASSERT_TRUE(ez_command(c, {0x21, 3, 0}));  // internal flash: 16 KB sectors
    EXPECT_EQ(*ez_status(c), (Bytes{0x21, 0, 0}));
    EXPECT_EQ(h.instrument.journal().entries(EventKind::Erase).at(1).length, 0x4000u);
    ASSERT_TRUE(ez_command(c, {0x21, 9, 0}));  // no sector 9
    EXPECT_EQ((*ez_status(c))[1], 4);
}

TEST_F(Classic, JumpAnswersOnlyOnceALoaderIsInPlace) {
    ASSERT_TRUE(ez_command(c, {0xAB, 0, 0}));
    EXPECT_EQ((*ez_status(c))[0], 0x84);
    EXPECT_EQ(ez_write(c, 0x801000, Bytes(64, 0x02)), 0x22);
    ASSERT_TRUE(ez_command(c, {0xAB, 0, 0}));
    EXPECT_EQ((*ez_status(c))[0], 0xAB);
}

TEST_F(Classic, ResetAnswersAndRestarts) {
    ASSERT_TRUE(ez_command(c, {0xAA, 0, 0}));
    EXPECT_EQ((*ez_status(c))[0], 0xAA);
    EXPECT_EQ(h.instrument.journal().count(EventKind::Restart), 1u);
}

TEST_F(Classic, InjectedStatusesAndEraseFailures) {
    h.instrument.answer_status_with(0xFF);
    ASSERT_TRUE(ez_command(c, ez_addressed(0x23, 0x80800000, 4)));
    EXPECT_EQ((*ez_status(c))[0], 0xFF);
    ASSERT_TRUE(ez_command(c, ez_addressed(0x23, 0x80800000, 4)));
    EXPECT_EQ((*ez_status(c))[0], 0x23);  // one status only

    for (std::uint8_t code : std::initializer_list<std::uint8_t>{5, 4}) {
        h.instrument.answer_erase_with(code);
        ASSERT_TRUE(ez_command(c, {0x21, 12, 0}));
        EXPECT_EQ(*ez_status(c), (Bytes{0x21, code, 0}));
    }
    EXPECT_EQ(h.instrument.journal().count(EventKind::Erase), 0u);
}

}  // namespace
}  // namespace tola::sim::test
