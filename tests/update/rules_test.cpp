// Who may receive which release, the start offset, the count-down.
#include "update/firmware/update_rules.h"
#include "update/firmware/update_view.h"

#include <gtest/gtest.h>

namespace ckupdate {
namespace {

struct Row {
    std::uint32_t cpu;
    const char* release;
    const char* firmware;
    bool service;
    const char* refusal;  // nullptr: allowed
};

const char* const kNotProcessed = "Update cannot be processed.\n\r";

class CheckUpdateAllowedTest : public ::testing::TestWithParam<Row> {};

TEST_P(CheckUpdateAllowedTest, FirstRuleThatAppliesDecides) {
    const Row& r = GetParam();
    try {
        CheckUpdateAllowed(r.cpu, QString::fromUtf8(r.release), QString::fromUtf8(r.firmware), r.service);
        EXPECT_EQ(nullptr, r.refusal) << "allowed, but should be refused";
    } catch (const EProgramError& e) {
        ASSERT_NE(nullptr, r.refusal) << "refused: " << e.what();
        EXPECT_EQ(QString::fromUtf8(r.refusal), e.Message());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CheckUpdateAllowedTest,
    ::testing::Values(
        Row{1, "512bLE", "511vLE", false, "Wrong Chromatik Processor Type.\n\r"},
        Row{1, "300", "200", true, "Wrong Chromatik Processor Type.\n\r"},
        Row{2, "400", "350", false,
            "Update cannot be processed.\n\rThis software can only be used for TOLA Chromatik® V.\n\r"},
        Row{2, "399", "350", false, nullptr},
        Row{3, "503d", "511vLE", true,
            "Update cannot be processed.\n\rThis release cannot be used for Chromatik® V.\n\rSoftware version 503e or "
            "later is required.\n\r"},
        Row{3, "512bLE", "503", false,
            "Update cannot be processed.\n\rChromatik® V Updates only possible from firmware version 503e.\n\r"},
        Row{3, "511vLE", "511vLE", false, "No update required.\n\rFirmware is up to date\n\r"},
        Row{3, "511vLE", "511vLE", true, nullptr},
        Row{3, "503e", "509i", true,
            "Release version 503e cannot be used to downdate für release Version 509i.\n\rRelease version 504t or "
            "later is required.\n\r"},
        Row{3, "509I", "511vLE", false,
            "Update cannot be processed.\n\rUpdates for Chromatik® V serial no. > 58599 are only possible with "
            "firmware version 511oLE or later.\n\r"},
        Row{3, "509iBU", "511vLE", false, nullptr},  // "509iBU" > "509i"
        Row{3, "509I", "511vLE", true, nullptr},
        Row{3, "512bLE", "509i", false,
            "Update cannot be processed.\n\rUpdates for Chromatik® V serial no. < 58600 are only possible with "
            "firmware version 509xx or lower.\n\r"},
        Row{3, "512bLE", "509i", true, nullptr},
        Row{3, "512bLE", "509iBU", false, nullptr},
        Row{3, "511e", "509i", false, nullptr},  // "511e" < "511oLE"
        Row{0, "100", "100", false, nullptr}));

TEST(ReleaseOrder, TextsCompareOrdinally) {
    EXPECT_LT(QStringLiteral("509I"), QStringLiteral("509IBU"));
    EXPECT_LT(QStringLiteral("509IBU"), QStringLiteral("509i"));
    EXPECT_LT(QStringLiteral("509i"), QStringLiteral("509iBU"));
    EXPECT_LT(QStringLiteral("511e"), QStringLiteral("511oLE"));
    EXPECT_LT(QStringLiteral("511oLE"), QStringLiteral("512bLE"));
}

TEST(StartOffset, FollowsTheRelease) {
    EXPECT_EQ(0x2000u, StartOffsetFor("353z"));
    EXPECT_EQ(0x6000u, StartOffsetFor("354"));
    EXPECT_EQ(0x6000u, StartOffsetFor("399"));
    EXPECT_EQ(0xC000u, StartOffsetFor("400"));
    EXPECT_EQ(0xC000u, StartOffsetFor("512bLE"));
}

TEST(Sectors, OffsetsMapToTheStm32F2Table) {
    EXPECT_EQ(0, SectorOf(0));
    EXPECT_EQ(3, SectorOf(0xC000));
    EXPECT_EQ(3, SectorOf(0xFFFF));
    EXPECT_EQ(4, SectorOf(0x10000));
    EXPECT_EQ(5, SectorOf(0x20000));
    EXPECT_EQ(8, SectorOf(0x88D94));
    EXPECT_EQ(11, SectorOf(0xFFFFF));
}

TEST(CountDown, RemainingTimeAndProgress) {
    CountDown c = ComputeCountDown(472000, 0);
    EXPECT_EQ(472, c.maximumSeconds);
    EXPECT_EQ(0, c.positionSeconds);
    EXPECT_EQ(QStringLiteral("Remaining time: 07:52"), c.label);

    c = ComputeCountDown(472000, 100400);  // 371.6 s left
    EXPECT_EQ(371600u, c.remainingMs);
    EXPECT_EQ(472 - 371, c.positionSeconds);
    EXPECT_EQ(QStringLiteral("Remaining time: 06:12"), c.label);

    c = ComputeCountDown(10000, 20000);  // overdue: one millisecond left
    EXPECT_EQ(1u, c.remainingMs);
    EXPECT_EQ(10, c.positionSeconds);
    EXPECT_EQ(QStringLiteral("Remaining time: 00:00"), c.label);

    c = ComputeCountDown(0, 0);
    EXPECT_EQ(QStringLiteral("Remaining time: 00:00"), c.label);
}

}  // namespace
}  // namespace ckupdate
