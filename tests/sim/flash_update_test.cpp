// The STM32 boot loader: update mode, sector erase, programming rules, the flags
// that catch a wrong programming order, and the restart into new firmware.
#include "sim/firmware_header.h"
#include "sim_test_support.h"

namespace tola::sim::test {
namespace {

constexpr std::uint32_t kFlash = 0x08000000;

Bytes header_block(const std::string& release, const std::string& date) {
    Bytes h(64, 0);
    const std::string mark = "App Loaded";
    std::copy(mark.begin(), mark.end(), h.begin());
    std::copy(release.begin(), release.end(), h.begin() + 16);
    std::copy(date.begin(), date.end(), h.begin() + 32);
    return h;
}

struct Stm32Update : ::testing::Test {
    Harness h{stm32_config()};
    ChannelClient c = h.connect();
};

TEST_F(Stm32Update, FlashIsWrittenOnlyInUpdateModeAndOnlyWhereErased) {
    // Outside update mode: refused.
    EXPECT_EQ(ctl_write(c, 4, kFlash + 0x40000, Bytes(64, 0x11)), 15);
    EXPECT_EQ(h.instrument.journal().count(EventKind::FlashWrite), 0u);

    ASSERT_TRUE(ctl_command(c, 11, 0));
    EXPECT_TRUE(h.instrument.in_update_mode());
    // Sector 6 (0x40000..0x5FFFF) is blank from the factory.
    EXPECT_EQ(ctl_write(c, 4, kFlash + 0x40000, Bytes(64, 0x11)), 8);
    EXPECT_EQ(ctl_write(c, 4, kFlash + 0x40000, Bytes(64, 0x22)), 15);
    EXPECT_TRUE(h.instrument.journal().flagged(Flag::UnerasedFlashWrite));
    EXPECT_EQ((*h.instrument.peek(kFlash + 0x40000, 1))[0], 0x11);

    // Sector 3 holds the old application; erase it and the write goes through.
    EXPECT_EQ(ctl_write(c, 4, kFlash + 0xC040, Bytes(64, 0x33)), 15);
    ASSERT_TRUE(ctl_command(c, 9, 3));
    const auto erases = h.instrument.journal().entries(EventKind::Erase);
    ASSERT_EQ(erases.size(), 1u);
    EXPECT_EQ(erases[0].address, kFlash + 0xC000);
    EXPECT_EQ(erases[0].length, 0x4000u);
    EXPECT_EQ(ctl_write(c, 4, kFlash + 0xC040, Bytes(64, 0x33)), 8);
    EXPECT_FALSE(h.instrument.journal().flagged(Flag::BootAreaWrite));
}

TEST_F(Stm32Update, SectorTableMatchesTheProcessor) {
    ASSERT_TRUE(ctl_command(c, 11, 0));
    for (std::uint32_t s : {4u, 5u, 11u}) ASSERT_TRUE(ctl_command(c, 9, s));
    const auto e = h.instrument.journal().entries(EventKind::Erase);
    ASSERT_EQ(e.size(), 3u);
    EXPECT_EQ(e[0].address, kFlash + 0x10000);
    EXPECT_EQ(e[0].length, 0x10000u);
    EXPECT_EQ(e[1].address, kFlash + 0x20000);
    EXPECT_EQ(e[1].length, 0x20000u);
    EXPECT_EQ(e[2].address, kFlash + 0xE0000);
    EXPECT_FALSE(ctl_command(c, 9, 12));
}

TEST_F(Stm32Update, BootAreaIsFlaggedWhenErasedOrWritten) {
    ASSERT_TRUE(ctl_command(c, 11, 0));
    ASSERT_TRUE(ctl_command(c, 9, 1));
    EXPECT_TRUE(h.instrument.journal().flagged(Flag::BootAreaWrite));
    h.instrument.journal().clear();
    EXPECT_EQ(ctl_write(c, 4, kFlash + 0x4000, Bytes(16, 0)), 8);
    EXPECT_TRUE(h.instrument.journal().flagged(Flag::BootAreaWrite));
}

TEST_F(Stm32Update, HeaderWrittenBeforeTheImageIsFlaggedButNotWhenLast) {
    ASSERT_TRUE(ctl_command(c, 11, 0));
    ASSERT_TRUE(ctl_command(c, 9, 3));
    // Right order: image, then header.
    EXPECT_EQ(ctl_write(c, 4, kFlash + 0xC040, Bytes(64, 0x01)), 8);
    EXPECT_EQ(ctl_write(c, 4, kFlash + 0xC000, header_block("512bLE", "May 1, 2024")), 8);
    EXPECT_FALSE(h.instrument.journal().flagged(Flag::HeaderBeforeImage));
    // More image after the header in the same session: wrong order.
    EXPECT_EQ(ctl_write(c, 4, kFlash + 0xC080, Bytes(64, 0x02)), 8);
    EXPECT_TRUE(h.instrument.journal().flagged(Flag::HeaderBeforeImage));
}

TEST_F(Stm32Update, RestartGoesSilentThenRunsTheFirmwareOfTheHeader) {
    const std::uint32_t settings = h.instrument.layout().addresses[15];
    ASSERT_EQ(ctl_write(c, 2, settings, Bytes(16, 0xEE)), 8);
    ASSERT_TRUE(ctl_command(c, 11, 0));
    ASSERT_TRUE(ctl_command(c, 9, 3));
    ASSERT_EQ(ctl_write(c, 4, kFlash + 0xC040, Bytes(64, 0x01)), 8);
    ASSERT_EQ(ctl_write(c, 4, kFlash + 0xC000, header_block("512bLE", "May 1, 2024")), 8);
    ASSERT_TRUE(ctl_command(c, 10, 0));

    ASSERT_TRUE(h.instrument.wait_until_present(false, 5s));
    EXPECT_FALSE(ChannelClient::connect(h.instrument.socket_path()));
    EXPECT_TRUE(c.wait_closed());
    ASSERT_TRUE(h.instrument.wait_until_present(true, 5s));

    auto again = h.connect();
    const auto restarts = h.instrument.journal().entries(EventKind::Restart);
    ASSERT_EQ(restarts.size(), 1u);
    EXPECT_FALSE(h.instrument.in_update_mode());
    EXPECT_EQ(h.instrument.firmware(), "512bLE");
    const std::uint32_t version = h.instrument.layout().addresses[0];
    auto v = ctl_read(again, 1, version + 2 * 26, 26);
    ASSERT_TRUE(v);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(v->data())), "512bLE");
    // New firmware, default settings.
    EXPECT_NE((*h.instrument.peek(settings, 1))[0], 0xEE);
}

TEST_F(Stm32Update, RestartWithoutApplicationStaysInTheBootLoader) {
    ASSERT_TRUE(ctl_command(c, 11, 0));
    ASSERT_TRUE(ctl_command(c, 9, 3));
    ASSERT_TRUE(ctl_command(c, 10, 0));
    ASSERT_TRUE(h.instrument.wait_until_present(false, 5s));
    ASSERT_TRUE(h.instrument.wait_until_present(true, 5s));
    EXPECT_TRUE(h.instrument.in_update_mode());
    EXPECT_EQ(h.instrument.firmware(), "511vLE");
}

TEST(FirmwareHeader, RoundTripsAndRejectsUnmarkedBlocks) {
    const auto h = make_firmware_header("511vLE", "January 16, 2022");
    const auto parsed = parse_firmware_header(h);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->release, "511vLE");
    EXPECT_EQ(parsed->date, "January 16, 2022");
    EXPECT_FALSE(parse_firmware_header(Bytes(64, 0xFF)));
}

}  // namespace
}  // namespace tola::sim::test
