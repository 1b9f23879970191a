// The instrument's memory image: table, sizes, version block and byte order.
#include <string>

#include "sim/instrument.h"
#include "sim/release_table.h"
#include "sim/structures_image.h"
#include "sim_test_support.h"

namespace tola::sim::test {
namespace {

std::string text_at(const Bytes& version, std::size_t slot) {
    const auto* p = reinterpret_cast<const char*>(version.data() + slot * 26);
    return std::string(p, strnlen(p, 26));
}

std::uint32_t table_word(const Instrument& inst, std::size_t w) {
    const auto t = *inst.peek(inst.layout().table_address, 96);
    return inst.config().byte_order() == ByteOrder::Little ? le32(t, w * 4) : be32(t, w * 4);
}

TEST(StructuresImage, Stm32TableLocatesVersionBlockFilledFromConfig) {
    Instrument inst(stm32_config());
    ASSERT_EQ(inst.layout().table_address, 0x20000000u);
    const std::uint32_t version = table_word(inst, 0);
    EXPECT_GE(version, 0x20000000u);
    EXPECT_LT(version, 0x20010000u);
    const Bytes v = *inst.peek(version, 260);
    EXPECT_EQ(text_at(v, 0), "Chromatik\xAE V");
    EXPECT_EQ(text_at(v, 1), "H51234");
    EXPECT_EQ(text_at(v, 2), "511vLE");
    EXPECT_EQ(text_at(v, 3), "CK0A.00.31.00");
    EXPECT_EQ(text_at(v, 7), "CPU-STM");
}

TEST(StructuresImage, SizesFollowTheReleaseRowAndMissingStructuresHaveNoEntry) {
    InstrumentConfig c = stm32_config();
    c.layout_release = "CK0A.00.30.00";  // no ADD_5, no word-18 record
    Instrument inst(c);
    EXPECT_EQ(table_word(inst, 13), 0u);
    EXPECT_EQ(table_word(inst, 18), 0u);
    const std::uint32_t sizes_at = table_word(inst, 16);
    ASSERT_NE(sizes_at, 0u);
    const Bytes sizes = *inst.peek(sizes_at, 96);
    EXPECT_EQ(le32(sizes, 15 * 4), 512u);      // settings
    EXPECT_EQ(le32(sizes, 7 * 4), 64u);        // host block
    EXPECT_EQ(le32(sizes, 2 * 4), 8788u);      // one shade table, though four lie there
    EXPECT_EQ(le32(sizes, 10 * 4), 2676u);     // ADD_3

    c.layout_release = "CK0A.00.32.00";
    Instrument newest(c);
    EXPECT_NE(table_word(newest, 18), 0u);
    EXPECT_NE(table_word(newest, 13), 0u);
}

TEST(StructuresImage, EveryReleaseFitsEachKindsMemoryRules) {
    for (const auto& row : release_rows()) {
        InstrumentConfig stm = stm32_config();
        stm.layout_release = std::string(row.name);
        const auto a = plan_structures(stm);
        for (const auto& p : a.placements) EXPECT_LE(p.address + p.size, 0x20010000u) << row.name;

        InstrumentConfig h8 = h8sx_config();
        h8.layout_release = std::string(row.name);
        const auto b = plan_structures(h8);
        EXPECT_GE(b.addresses[0], 0xFF2000u) << row.name;
        EXPECT_LT(b.addresses[0], 0xFFC000u) << row.name;

        InstrumentConfig classic = classic_config();
        classic.layout_release = std::string(row.name);
        const auto d = plan_structures(classic);
        EXPECT_EQ(d.addresses[0] >> 24, 0x80u) << row.name;
        // Structures the host rewrites with its flash-aware write must sit in flash.
        EXPECT_LT(d.addresses[1], 0x80040000u) << row.name;
        EXPECT_LT(d.addresses[15], 0x80040000u) << row.name;
    }
}

TEST(StructuresImage, PatternAndTableUseTheProcessorsByteOrder) {
    Instrument stm(stm32_config());
    Instrument h8(h8sx_config());
    const Bytes t = *h8.peek(0xFF2400, 8);
    const std::uint32_t version_be = be32(t, 0);
    EXPECT_GE(version_be, 0xFF2000u);
    EXPECT_LT(version_be, 0xFFC000u);

    // Word 2 of additional block 2: 0xC0090002.
    const std::uint32_t s_stm = stm.layout().addresses[9];
    const std::uint32_t s_h8 = h8.layout().addresses[9];
    EXPECT_EQ(*stm.peek(s_stm + 8, 4), (Bytes{0x02, 0x00, 0x09, 0xC0}));
    EXPECT_EQ(*h8.peek(s_h8 + 8, 4), (Bytes{0xC0, 0x09, 0x00, 0x02}));
    // The data block is the live data: the battery word at 64 in each order.
    EXPECT_EQ(*stm.peek(stm.layout().addresses[6] + 64, 4), (Bytes{0x3C, 0x0F, 0x00, 0x00}));
    EXPECT_EQ(*h8.peek(h8.layout().addresses[6] + 64, 4), (Bytes{0x00, 0x00, 0x0F, 0x3C}));
}

TEST(StructuresImage, UnknownReleaseIsStillServedUnderItsOwnName) {
    InstrumentConfig c = stm32_config();
    c.layout_release = "CK0A.00.21.00";
    Instrument inst(c);
    const Bytes v = *inst.peek(table_word(inst, 0), 260);
    EXPECT_EQ(text_at(v, 3), "CK0A.00.21.00");
}

TEST(StructuresImage, HostBlockStartsIdleInTheClassicLayoutToo) {
    Instrument inst(classic_config());
    const std::uint32_t host = table_word(inst, 7);
    ASSERT_NE(host, 0u);
    const Bytes b = *inst.peek(host, 44);  // 11 words in CK0A.00.20.00, the state in word 7
    EXPECT_EQ(be32(b, 0), 0u);
    EXPECT_EQ(be32(b, 28), 20u);
    EXPECT_EQ(be32(b, 32), 0u);
}

}  // namespace
}  // namespace tola::sim::test
