#include "comm/structures/layout_release_table.h"

#include <gtest/gtest.h>

#include <string>

#include "structures_test_support.h"

namespace {

using namespace tola::structures;
using structures_test::kAllReleases;
using structures_test::release;

TEST(LayoutReleaseTable, NineteenRowsNewestFirstFoundByExactName) {
    ASSERT_EQ(19u, LAYOUT_RELEASE_TABLE.size());
    for (std::size_t row = 0; row < kAllReleases.size(); ++row) {
        EXPECT_EQ(release(kAllReleases[row]), std::string(LAYOUT_RELEASE_TABLE[row].name));
        EXPECT_EQ(row, find_release_row(release(kAllReleases[row])));
        EXPECT_EQ(kAllReleases[row], layout_number(row));
    }
    // The name is zero-padded over its 52 bytes.
    for (char c : std::string_view(LAYOUT_RELEASE_TABLE[0].name + 13, 52 - 13)) EXPECT_EQ('\0', c);

    for (const char* unknown : {"CK0A.00.21.00", "CK0A.00.13.00", "CK0A.00.31.0", "CK0A.00.31.00 ", "ck0a.00.31.00", ""}) {
        EXPECT_FALSE(find_release_row(unknown).has_value()) << unknown;
    }
}

TEST(LayoutReleaseTable, SizesThatSelectLayoutsPerRelease) {
    // Newest first: setup (w0), one shade table (w2), results (w3), host block (w5), settings (w15).
    constexpr std::uint32_t setup[] = {1392, 1392, 1392, 1392, 1392, 1392, 1392, 1392, 1392, 1392,
                                       1072, 1856, 1856, 1856, 1856, 1856, 1540, 1324, 1312};
    constexpr std::uint32_t shade[] = {8788, 8788, 8788, 8788, 8788, 8788, 8788, 8788, 8788, 9412,
                                       9412, 8920, 8920, 8920, 8920, 8920, 8912, 8912, 8912};
    constexpr std::uint32_t results[] = {876, 876, 876, 876, 876, 876, 836, 836, 524, 296,
                                         296, 628, 628, 456, 456, 456, 676, 676, 576};
    constexpr std::uint32_t host[] = {64, 64, 64, 64, 64, 64, 64, 64, 64, 76, 76, 44, 36, 36, 36, 36, 36, 36, 0};
    constexpr std::uint32_t settings[] = {512, 512, 512, 512, 384, 384, 384, 332, 332, 228,
                                          228, 468, 468, 468, 468, 468, 468, 468, 468};
    for (std::size_t row = 0; row < 19; ++row) {
        const auto& sizes = LAYOUT_RELEASE_TABLE[row].sizes;
        SCOPED_TRACE(LAYOUT_RELEASE_TABLE[row].name);
        EXPECT_EQ(setup[row], sizes[0]);
        EXPECT_EQ(shade[row], sizes[2]);
        EXPECT_EQ(results[row], sizes[3]);
        EXPECT_EQ(host[row], sizes[5]);
        EXPECT_EQ(settings[row], sizes[15]);
        EXPECT_EQ(260u, sizes[6]);
        EXPECT_EQ(96u, sizes[16]);
        // Reserved words: 9 holds 32 from .24 on, 17 holds 212 in .32 only, 19..23 are 0.
        EXPECT_EQ(row <= 8 ? 32u : 0u, sizes[9]);
        EXPECT_EQ(row == 0 ? 212u : 0u, sizes[17]);
        EXPECT_EQ(row == 0 ? 11u : 0u, sizes[18]);
        for (std::size_t w = 19; w < 24; ++w) EXPECT_EQ(0u, sizes[w]);
    }
}

TEST(LayoutReleaseTable, ReleaseOrLaterNeedsBothReleasesInTheTable) {
    EXPECT_TRUE(release_or_later("CK0A.00.24.00", "CK0A.00.31.00"));
    EXPECT_TRUE(release_or_later("CK0A.00.31.00", "CK0A.00.31.00"));
    EXPECT_FALSE(release_or_later("CK0A.00.32.00", "CK0A.00.31.00"));
    EXPECT_TRUE(release_or_later("CK0A.00.11.00", "CK0A.00.32.00"));
    EXPECT_FALSE(release_or_later("CK0A.00.21.00", "CK0A.00.32.00"));
    for (unsigned number : kAllReleases) {
        EXPECT_FALSE(release_or_later(release(number), "CK0A.00.21.00")) << number;
    }
}

TEST(LayoutReleaseTable, TargetSizeOfAnUnknownReleaseIsZero) {
    EXPECT_EQ(7312u, release_target_size("CK0A.00.26.00", ReleaseWord::MeasureDetails));
    EXPECT_EQ(624u, release_target_size("CK0A.00.31.00", ReleaseWord::Add5));
    EXPECT_EQ(0u, release_target_size("CK0A.00.21.00", ReleaseWord::Setup));
}

}  // namespace
