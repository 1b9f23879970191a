// Which releases each converter serves, per direction, for every row of the
// release table.
#include <gtest/gtest.h>

#include <string>

#include "structures_test_support.h"

namespace {

using namespace structures_test;
using tola::structures::serves;

struct Coverage {
    StructureKind kind;
    // One letter per release of kAllReleases (.32 first): B both directions,
    // U upload only, D download only, - refused.
    const char* served;
};

constexpr Coverage kCoverage[] = {
    //                                    32 28   24 22   18   14
    {StructureKind::StructureTable,       "BBBBBBBBBBBBBBBBBBB"},
    {StructureKind::StructureSizes,       "BBBBBBBBBBBBBBBBBBB"},
    {StructureKind::Setup,                "BBBBBBBBBBB--------"},
    {StructureKind::Settings,             "BBBBBBBBBBBUUUUUUUU"},
    {StructureKind::Add2,                 "BBBBBBBBBBBBBBBBBBB"},
    {StructureKind::Add3,                 "BBB----------------"},
    {StructureKind::Add4,                 "BBBB---------------"},
    {StructureKind::ShortResult,          "UU-----------------"},
    {StructureKind::TableWord18,          "B------------------"},
    {StructureKind::UsbHost,              "BBBBBBBBBBBBBBBBBB-"},
    {StructureKind::Norm,                 "BBBBBBBBB----------"},
    {StructureKind::Data,                 "BBBBBBBBB-B--------"},
    {StructureKind::DisplayText,          "BBBBBBBBBBBBBBBBBB-"},
    {StructureKind::Meas,                 "BBBBBBBBBBB--------"},
    {StructureKind::Results,              "BBBBBBBBBBB--------"},
    {StructureKind::MeasureDetails,       "BBBBBBBBB-BBBBBBBBB"},
    {StructureKind::ShadeTable,           "BBBBBBBBBBBBB-BBBBB"},
    {StructureKind::FirstGenSetup,        "BBBBBBBBBBBBBBBBBBB"},
    {StructureKind::FirstGenNorm,         "BBBBBBBBBBBBBBBBBBB"},
    {StructureKind::FirstGenData,         "DDDDDDDDDDDBBBBBBBB"},
    {StructureKind::FirstGenResultsEntry, "DDDDDDDDDDDBBBBBBBB"},
    {StructureKind::Touchscreen,          "BBBBBBBBBBBBBBBBBB-"},
    {StructureKind::PsParameters,         "BBBBBBBBBBBBBBBBBBB"},
};
static_assert(std::size(kCoverage) == tola::structures::kStructureKindCount);

TEST(ConverterCoverage, EveryReleaseRowServedOrRefusedPerDirection) {
    for (const Coverage& c : kCoverage) {
        for (std::size_t i = 0; i < kAllReleases.size(); ++i) {
            SCOPED_TRACE("kind " + std::to_string(static_cast<int>(c.kind)) + " release " +
                         std::to_string(kAllReleases[i]));
            const char letter = c.served[i];
            EXPECT_EQ(letter == 'B' || letter == 'U', serves(c.kind, Direction::Upload, release(kAllReleases[i])));
            EXPECT_EQ(letter == 'B' || letter == 'D', serves(c.kind, Direction::Download, release(kAllReleases[i])));
        }
    }
}

TEST(ConverterCoverage, UnknownReleaseRefusedExceptByTheTables) {
    for (const Coverage& c : kCoverage) {
        const bool tables = c.kind == StructureKind::StructureTable || c.kind == StructureKind::StructureSizes;
        for (const char* unknown : {"CK0A.00.21.00", "CK0A.00.33.00", ""}) {
            EXPECT_EQ(tables, serves(c.kind, Direction::Upload, unknown));
            EXPECT_EQ(tables, serves(c.kind, Direction::Download, unknown));
        }
    }
}

TEST(ConverterCoverage, RefusalLeavesBothBuffersUntouched) {
    // .18 shade tables and .23 data block are refused; the settings download
    // to a first-generation release too.
    const struct {
        StructureKind kind;
        unsigned number;
        Direction direction;
    } refused[] = {{StructureKind::ShadeTable, 18, Direction::Upload},
                   {StructureKind::ShadeTable, 18, Direction::Download},
                   {StructureKind::Data, 23, Direction::Upload},
                   {StructureKind::Data, 23, Direction::Download},
                   {StructureKind::Settings, 20, Direction::Download},
                   {StructureKind::ShortResult, 31, Direction::Download}};
    for (const auto& r : refused) {
        Bytes host(tola::structures::host_size(r.kind), 0x5A);
        Bytes target(9412, 0xA5);
        EXPECT_FALSE(tola::structures::convert(r.kind, r.direction, release(r.number), ByteOrder::BigEndian, host,
                                               target));
        EXPECT_EQ(Bytes(host.size(), 0x5A), host);
        EXPECT_EQ(Bytes(target.size(), 0xA5), target);
    }
}

TEST(ConverterCoverage, HostAndTargetSizes) {
    using tola::structures::host_size;
    using tola::structures::target_size;
    const std::pair<StructureKind, std::size_t> hosts[] = {
        {StructureKind::StructureTable, 96}, {StructureKind::StructureSizes, 96}, {StructureKind::Setup, 1392},
        {StructureKind::Settings, 512},      {StructureKind::Add2, 68},           {StructureKind::Add3, 2676},
        {StructureKind::Add4, 576},          {StructureKind::ShortResult, 624},   {StructureKind::TableWord18, 11},
        {StructureKind::UsbHost, 64},        {StructureKind::Norm, 256},          {StructureKind::Data, 168},
        {StructureKind::DisplayText, 216},   {StructureKind::Meas, 2280},         {StructureKind::Results, 876},
        {StructureKind::MeasureDetails, 7316}, {StructureKind::ShadeTable, 8788}, {StructureKind::FirstGenSetup, 1856},
        {StructureKind::FirstGenNorm, 304},  {StructureKind::FirstGenData, 216},  {StructureKind::FirstGenResultsEntry, 628},
        {StructureKind::Touchscreen, 16},    {StructureKind::PsParameters, 10},
    };
    for (const auto& [kind, size] : hosts) EXPECT_EQ(size, host_size(kind));

    EXPECT_EQ(96u, target_size(StructureKind::StructureTable, "CK0A.00.21.00"));
    EXPECT_EQ(0u, target_size(StructureKind::Setup, "CK0A.00.21.00"));
    EXPECT_EQ(1392u, target_size(StructureKind::Setup, release(23)));
    EXPECT_EQ(1856u, target_size(StructureKind::FirstGenSetup, release(20)));
    EXPECT_EQ(9412u, target_size(StructureKind::ShadeTable, release(22)));
    EXPECT_EQ(11u, target_size(StructureKind::TableWord18, release(32)));
    EXPECT_EQ(0u, target_size(StructureKind::TableWord18, release(31)));
    EXPECT_EQ(16u, target_size(StructureKind::Touchscreen, release(14)));
    EXPECT_EQ(8u, target_size(StructureKind::PsParameters, release(11)));
    EXPECT_EQ(624u, target_size(StructureKind::ShortResult, release(32)));
}

}  // namespace
