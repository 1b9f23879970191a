// The memory-mapped generation over the channel: descriptor, request blocks,
// host command block and the H8SX variant.
#include "sim_test_support.h"

namespace tola::sim::test {
namespace {

TEST(ControllerFace, DescriptorNamesVendorProductAndRelease) {
    Harness h(stm32_config());
    auto c = h.connect();
    auto r = c.call(usbchannel::kReadDescriptor, {}, 18);
    ASSERT_TRUE(r && r->success);
    ASSERT_EQ(r->output.size(), 18u);
    EXPECT_EQ(r->output[8] | r->output[9] << 8, 0xE1A7);
    EXPECT_EQ(r->output[10] | r->output[11] << 8, 0x5062);
    EXPECT_EQ(r->output[12] | r->output[13] << 8, 0x0103);

    Harness h8(h8sx_config());
    auto c8 = h8.connect();
    r = c8.call(usbchannel::kReadDescriptor, {}, 18);
    ASSERT_TRUE(r && r->success);
    EXPECT_NE(r->output[12] | r->output[13] << 8, 0x0103);
}

TEST(ControllerFace, DefaultSocketIsInTheInterfaceClassFolder) {
    Harness h(stm32_config());
    EXPECT_EQ(h.instrument.socket_path().filename(), "dev0");
    EXPECT_EQ(h.instrument.socket_path().parent_path().filename(), "{00873FDF-61A8-11D1-AA5E-00C04FB1728B}");
}

TEST(ControllerFace, RamWriteThenReadReturnsTheBytesAndIsJournalled) {
    Harness h(stm32_config());
    auto c = h.connect();
    Bytes data(64);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 3);
    ASSERT_EQ(ctl_write(c, 2, 0x2000F000, data), 8);
    EXPECT_EQ(ctl_read(c, 1, 0x2000F000, 64), data);

    const auto writes = h.instrument.journal().entries(EventKind::MemoryWrite);
    ASSERT_EQ(writes.size(), 1u);
    EXPECT_EQ(writes[0].address, 0x2000F000u);
    EXPECT_EQ(writes[0].length, 64u);
    EXPECT_EQ(h.instrument.journal().entries(EventKind::MemoryRead).back().address, 0x2000F000u);
}

TEST(ControllerFace, TableReadThroughRequestBlocksMatchesTheImage) {
    Harness h(stm32_config());
    auto c = h.connect();
    auto table = ctl_read(c, 1, 0x20000000, 64);
    ASSERT_TRUE(table);
    EXPECT_EQ(*table, *h.instrument.peek(0x20000000, 64));
}

TEST(ControllerFace, AccessesOutsideTheirSpaceAreRefused) {
    Harness h(stm32_config());
    auto c = h.connect();
    EXPECT_FALSE(ctl_read(c, 1, 0x08000000, 16));           // flash asked as RAM
    EXPECT_FALSE(ctl_read(c, 1, 0x30000000, 16));           // nothing there
    EXPECT_EQ(ctl_write(c, 2, 0x08010000, Bytes(16, 0)), 15);  // flash written as RAM
    EXPECT_TRUE(ctl_read(c, 3, 0x08000000, 16));            // flash asked as flash
    EXPECT_TRUE(ctl_read(c, 5, 0x40023800, 4));             // a peripheral
}

TEST(ControllerFace, ReceiveWithoutARequestIsRefused) {
    Harness h(stm32_config());
    auto c = h.connect();
    auto r = c.call(usbchannel::kReceive, {}, 64);
    ASSERT_TRUE(r);
    EXPECT_FALSE(r->success);
}

Bytes host_command(std::uint32_t word0, std::uint32_t word1) {
    Bytes b(64, 0);
    put_le32(b, 0, word0);
    put_le32(b, 4, word1);
    return b;
}

TEST(ControllerFace, HostQueryIsAnsweredAndWord0Cleared) {
    Harness h(stm32_config());
    auto c = h.connect();
    const std::uint32_t host = h.instrument.layout().addresses[7];
    ASSERT_EQ(ctl_write(c, 2, host, host_command(0x80000000, 21)), 8);
    auto b = ctl_read(c, 1, host, 64);
    ASSERT_TRUE(b);
    EXPECT_EQ(le32(*b, 0), 0u);
    EXPECT_EQ(le32(*b, 12), 5324u);
    const auto cmds = h.instrument.journal().entries(EventKind::HostCommand);
    ASSERT_EQ(cmds.size(), 1u);
    EXPECT_EQ(cmds[0].value, 0x80000000u);
}

TEST(ControllerFace, DelayedHostCommandStaysBusyUntilItCompletes) {
    InstrumentConfig cfg = stm32_config();
    cfg.command_delay = std::chrono::minutes(10);  // never completes within this test
    Harness slow(cfg);
    auto c = slow.connect();
    const std::uint32_t host = slow.instrument.layout().addresses[7];
    ASSERT_EQ(ctl_write(c, 2, host, host_command(0x2, 51)), 8);
    auto b = ctl_read(c, 1, host, 64);
    ASSERT_TRUE(b);
    EXPECT_EQ(le32(*b, 0), 2u);
    EXPECT_EQ(slow.instrument.journal().count(EventKind::HostCommand), 0u);

    cfg.command_delay = 30ms;
    Harness quick(cfg);
    auto q = quick.connect();
    const std::uint32_t qhost = quick.instrument.layout().addresses[7];
    ASSERT_EQ(ctl_write(q, 2, qhost, host_command(0x2, 51)), 8);
    ASSERT_TRUE(quick.instrument.journal().wait_for(EventKind::HostCommand, 1, 5s));
    b = ctl_read(q, 1, qhost, 64);
    ASSERT_TRUE(b);
    EXPECT_EQ(le32(*b, 0), 0u);
    EXPECT_EQ(le32(*b, 32), 51u);
}

TEST(ControllerFace, H8sxWritesWithoutReplyAndTakesCommandsAsRepeatedBlocks) {
    Harness h(h8sx_config());
    auto c = h.connect();
    // RAM write: block, data, no reply to fetch.
    Bytes data(64, 0x5A);
    ASSERT_TRUE(c.call(usbchannel::kSendBlock, request_block(2, 0xFF3000, 64, false), 0)->success);
    ASSERT_EQ(c.call(usbchannel::kSendBlock, data, 0)->bytes_returned, 64u);
    EXPECT_FALSE(c.call(usbchannel::kReceive, {}, 12)->success);
    EXPECT_EQ(h.instrument.peek(0xFF3000, 64), data);

    // Enter update mode, erase block 9, write a 128-byte chunk as two halves.
    const Bytes enter = request_block(11, 0, 64, false);
    ASSERT_TRUE(c.call(usbchannel::kSendBlock, enter, 0)->success);
    ASSERT_TRUE(c.call(usbchannel::kSendBlock, enter, 0)->success);
    EXPECT_TRUE(h.instrument.in_update_mode());
    const Bytes erase = request_block(9, 9, 64, false);
    c.call(usbchannel::kSendBlock, erase, 0);
    c.call(usbchannel::kSendBlock, erase, 0);
    for (std::uint32_t half = 0; half < 2; ++half) {
        c.call(usbchannel::kSendBlock, request_block(4, 0x10000 + 64 * half, 64, false), 0);
        c.call(usbchannel::kSendBlock, Bytes(64, static_cast<std::uint8_t>(half + 1)), 0);
    }
    EXPECT_EQ(h.instrument.journal().count(EventKind::FlashWrite), 2u);
    EXPECT_EQ((*h.instrument.peek(0x10040, 1))[0], 2);
    EXPECT_EQ(h.instrument.journal().entries(EventKind::Erase).at(0).value, 9u);
}

}  // namespace
}  // namespace tola::sim::test
