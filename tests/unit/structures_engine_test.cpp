// Byte order, unit kinds and the engine's bounds.
#include "comm/structures/conversion_engine.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "comm/structures/converter_maps.h"
#include "structures_test_support.h"

namespace {

using namespace structures_test;
using namespace tola::structures;

TEST(ByteOrderRule, WordsReversedOnlyForABigEndianInstrument) {
    Bytes target(96, 0);
    target[0] = 0x01, target[1] = 0x02, target[2] = 0x03, target[3] = 0x04;
    Bytes host(96, 0);

    ASSERT_TRUE(convert(StructureKind::StructureTable, Direction::Upload, release(31), ByteOrder::BigEndian, host,
                        target));
    EXPECT_EQ(0x01020304u, host32(host, 0));
    ASSERT_TRUE(convert(StructureKind::StructureTable, Direction::Upload, release(31), ByteOrder::LittleEndian, host,
                        target));
    EXPECT_EQ(0x04030201u, host32(host, 0));

    // 16-bit units follow the same rule (data block: 32 half-words first).
    Bytes data_target(168, 0), data_host(168, 0);
    data_target[2] = 0xAB, data_target[3] = 0xCD;
    ASSERT_TRUE(upload(StructureKind::Data, 24, ByteOrder::BigEndian, data_host, data_target));
    EXPECT_EQ(0xABCDu, host16(data_host, 2));
    ASSERT_TRUE(upload(StructureKind::Data, 24, ByteOrder::LittleEndian, data_host, data_target));
    EXPECT_EQ(0xCDABu, host16(data_host, 2));

    // Download writes the instrument's order.
    host32(host, 92, 0x11223344);
    Bytes out(96, 0);
    ASSERT_TRUE(convert(StructureKind::StructureSizes, Direction::Download, "", ByteOrder::BigEndian, host, out));
    EXPECT_EQ((Bytes{0x11, 0x22, 0x33, 0x44}), Bytes(out.begin() + 92, out.end()));
}

TEST(UnitKinds, NameKeepsItsLastByteAndBoundedNameRefusesLongTexts) {
    // Shade table name: 25 bytes move, the 26th stays.
    Bytes target(8788, 0), host(8788, 0);
    for (std::size_t i = 0; i < 26; ++i) target[i] = static_cast<std::uint8_t>('A' + i);
    ASSERT_TRUE(upload(StructureKind::ShadeTable, 24, ByteOrder::LittleEndian, host, target));
    EXPECT_EQ(std::string("ABCDEFGHIJKLMNOPQRSTUVWXY"), std::string(host.begin(), host.begin() + 25));
    EXPECT_EQ(0, host[25]);

    // ADD_2 name at 28 is copied as text: 24 characters land, 25 are refused.
    Bytes add2_target(68, 0), add2_host(68, 0);
    put_text(add2_host, 28, "previous");
    add2_target[28 + 25] = 0;
    std::memset(&add2_target[28], 'n', 25);
    ASSERT_TRUE(upload(StructureKind::Add2, 31, ByteOrder::LittleEndian, add2_host, add2_target));
    EXPECT_EQ("previous", text_at(add2_host, 28));
    add2_target[28 + 24] = 0;
    ASSERT_TRUE(upload(StructureKind::Add2, 31, ByteOrder::LittleEndian, add2_host, add2_target));
    EXPECT_EQ(std::string(24, 'n'), text_at(add2_host, 28));
}

constexpr Unit kHostile[] = {
    words(28, 28, 5),                 // straddles the end: one word fits
    halves(0, 30, 4),                 // one half-word fits the target
    bytes(0xFFFF, 0, 0xFFFF),         // starts far outside
    names(0, 4, 2),                   // the second name would end past both spans
    texts(0, 20, 1),                  // 26 bytes from 20 do not fit the target
    {0xFFF0, 0xFFF0, 3, UnitKind::Const32, Flow::Both, 7},
    or_word(32, 0),                   // starts exactly at the end
};

TEST(ConversionEngine, HostileMapNeverLeavesItsSpans) {
    // Spans inside larger buffers whose guard bytes must stay as they were.
    std::array<std::uint8_t, 48> guarded_host{}, guarded_target{};
    guarded_host.fill(0xEE);
    guarded_target.fill(0x11);
    const std::span<std::uint8_t> host(guarded_host.data() + 8, 32);
    const std::span<std::uint8_t> target(guarded_target.data() + 8, 32);
    for (Direction direction : {Direction::Upload, Direction::Download}) {
        for (ByteOrder order : {ByteOrder::LittleEndian, ByteOrder::BigEndian}) {
            apply_units(kHostile, direction, order, host, target);
        }
    }
    for (std::size_t i : {0, 1, 2, 3, 4, 5, 6, 7, 40, 41, 42, 43, 44, 45, 46, 47}) {
        EXPECT_EQ(0xEE, guarded_host[i]) << i;
        EXPECT_EQ(0x11, guarded_target[i]) << i;
    }
}

TEST(ConversionEngine, UnitsAreClippedToTheWholeElementsThatFit) {
    // Exact-size heap buffers: the sanitizer build catches any stray access.
    auto host = std::make_unique<std::uint8_t[]>(32);
    auto target = std::make_unique<std::uint8_t[]>(32);
    std::memset(host.get(), 0xEE, 32);
    for (std::uint8_t i = 0; i < 32; ++i) target[i] = i;
    apply_units(kHostile, Direction::Upload, ByteOrder::LittleEndian, {host.get(), 32}, {target.get(), 32});
    EXPECT_EQ(0, std::memcmp(host.get() + 28, target.get() + 28, 4));  // the word that fits
    EXPECT_EQ(0, std::memcmp(host.get(), target.get() + 4, 25));       // the name that fits
    EXPECT_EQ(0xEE, host[25]);
    for (std::size_t i = 26; i < 28; ++i) EXPECT_EQ(0xEE, host[i]);
}

TEST(ConversionEngine, ShortSpansForEveryStructureReleaseAndDirection) {
    // Spans shorter, equal and longer than host and target sizes, for every
    // structure in every release; each buffer is an exact heap allocation
    // between guard bytes.
    std::vector<std::string> releases{"CK0A.00.21.00"};
    for (unsigned n : kAllReleases) releases.push_back(release(n));
    for (std::size_t k = 0; k < kStructureKindCount; ++k) {
        const auto kind = static_cast<StructureKind>(k);
        for (const std::string& r : releases) {
            const std::size_t sizes[] = {0, 1, 3, 27, host_size(kind) / 2, host_size(kind) - 1,
                                         std::max<std::size_t>(target_size(kind, r), 1) - 1, host_size(kind) + 700};
            for (std::size_t size : sizes) {
                Bytes host(size + 16, 0x3C), target(size + 16, 0xC3);
                const std::span<std::uint8_t> h(host.data() + 8, size), t(target.data() + 8, size);
                for (Direction d : {Direction::Upload, Direction::Download}) {
                    for (ByteOrder o : {ByteOrder::LittleEndian, ByteOrder::BigEndian}) convert(kind, d, r, o, h, t);
                    convert_each(kind, 4, d, r, ByteOrder::BigEndian, h, t);
                }
                for (std::size_t i = 0; i < 8; ++i) {
                    ASSERT_EQ(0x3C, host[i]);
                    ASSERT_EQ(0x3C, host[size + 8 + i]) << "kind " << k << " " << r << " size " << size;
                    ASSERT_EQ(0xC3, target[i]);
                    ASSERT_EQ(0xC3, target[size + 8 + i]) << "kind " << k << " " << r << " size " << size;
                }
            }
        }
    }
}

// Every map must lie inside its host record, and an upload must never write a
// host byte twice (only the OR into w2 of the .22/.23 host block does on purpose).
TEST(ConverterMaps, UploadUnitsStayInsideTheHostRecordWithoutOverlap) {
    const StructureConverter* all[] = {
        &kStructureTableConverter, &kStructureSizesConverter, &kAdd2Converter,  &kAdd3Converter,
        &kAdd4Converter,           &kShortResultConverter,    &kTableWord18Converter, &kSetupConverter,
        &kSettingsConverter,       &kUsbHostConverter,        &kNormConverter,  &kDataConverter,
        &kDisplayTextConverter,    &kMeasConverter,           &kResultsConverter, &kMeasureDetailsConverter,
        &kShadeTableConverter,     &kFirstGenSetupConverter,  &kFirstGenNormConverter, &kFirstGenDataConverter,
        &kFirstGenResultsEntryConverter, &kTouchscreenConverter, &kPsParametersConverter};
    for (const StructureConverter* converter : all) {
        for (const ConversionRule& rule : converter->rules) {
            std::vector<int> written(converter->host_size, 0);
            for (const Unit& unit : rule.units) {
                const std::size_t extent = unit.count * element_size(unit.kind);
                const bool touches_host = unit.kind != UnitKind::Const32 || unit.flow != Flow::DownloadOnly;
                if (!touches_host) continue;
                SCOPED_TRACE("kind " + std::to_string(static_cast<int>(converter->kind)) + " release " +
                             std::to_string(rule.releases.first) + " unit at host " + std::to_string(unit.host));
                ASSERT_LE(unit.host + extent, converter->host_size);
                if (unit.flow == Flow::DownloadOnly || unit.kind == UnitKind::OrWord32) continue;
                for (std::size_t i = unit.host; i < unit.host + extent; ++i) EXPECT_EQ(0, written[i]++);
            }
        }
    }
}

}  // namespace
