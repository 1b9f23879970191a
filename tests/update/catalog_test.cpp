// The built-in images, the catalog and its selection, external firmware files.
#include "update/firmware/bin_stream.h"
#include "update/firmware/date_text.h"
#include "update/firmware/firmware_catalog.h"
#include "update/firmware/update_rules.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstring>

namespace ckupdate {
namespace {

TEST(FirmwareImages, EachIsAFlashImageOfItsListedSize) {
    for (std::size_t i = 0; i < kFirmwareImages.size(); ++i) {
        const FirmwareImageDescription& description = kFirmwareImages[i];
        SCOPED_TRACE(description.release);
        const std::uint8_t* image = EmbeddedImage(static_cast<int>(i));
        std::vector<std::uint8_t> bytes(image, image + description.size);
        EXPECT_NE(0xFF, bytes.back()) << "the last byte marks the image's end";
        EXPECT_EQ(description.size, ImageEnd(std::vector<std::uint8_t>(bytes)));
        // Header block at 0xC000.
        EXPECT_EQ(0, std::memcmp(image + 0xC000, "App Loaded\0\0\0\0\0\0", 16));
        EXPECT_STREQ(description.release, reinterpret_cast<const char*>(image + 0xC010));
        EXPECT_STREQ(description.date, reinterpret_cast<const char*>(image + 0xC020));
        // A boot loader with a stack pointer in RAM; an application with blank blocks.
        EXPECT_EQ(0x20u, image[3]);
        const auto blank128 = [&](std::uint32_t at) {
            return std::all_of(image + at, image + at + 128, [](std::uint8_t b) { return b == 0xFF; });
        };
        int blank = 0;
        for (std::uint32_t at = 0xC040; at + 128 <= description.size; at += 128) blank += blank128(at) ? 1 : 0;
        EXPECT_GT(blank, 30);
        EXPECT_FALSE(blank128(0xC040));
        EXPECT_FALSE(blank128(0x10000)) << "no sector begins blank";
        EXPECT_EQ(8, SectorOf(description.size - 1));
    }
}

TEST(FirmwareImages, ReleasesDiffer) {
    EXPECT_NE(0, std::memcmp(EmbeddedImage(0) + 0xC040, EmbeddedImage(1) + 0xC040, 4096));
}

TEST(Catalog, FifteenEntriesOverElevenImages) {
    TFirmwares c;
    ASSERT_EQ(15u, c.count);
    ASSERT_EQ(15, c.Version.size());
    EXPECT_EQ(0u, c.Default);
    EXPECT_EQ(QStringLiteral("CKV/512bLE/July 25, 2022"), c.Version[0]);
    const char* releases[] = {"512bLE", "512bLE", "512bLE", "511vLE", "511vLE", "511vLE", "509I", "509IBU",
                              "509IDW", "511e",   "511eBU", "511eDW", "509i",   "509iBU", "509iDW"};
    for (int i = 0; i < 15; ++i) {
        EXPECT_EQ(QString::fromLatin1(releases[i]), c.Firmware[static_cast<std::size_t>(i)].snCK_firmware_release);
        EXPECT_EQ(QStringLiteral("CKV"), c.Firmware[static_cast<std::size_t>(i)].snCK_Kind);
        EXPECT_EQ(0x08000000u, c.Firmware[static_cast<std::size_t>(i)].N_FLASHBASE);
    }
    EXPECT_EQ(QStringLiteral("512bLE"), c.Selected().snCK_firmware_release);
}

TEST(Catalog, IndexAboveTheLastSelectsTheDefault) {
    TFirmwares c;
    c.SelectFirmware(8);
    EXPECT_EQ(QStringLiteral("509IDW"), c.Selected().snCK_firmware_release);
    EXPECT_EQ(528752u, c.Selected().qbyCK_default.size());
    c.SelectFirmware(15);
    EXPECT_EQ(0u, c.ItemIndex);
    EXPECT_EQ(560532u, c.Selected().qbyCK_default.size());
}

TEST(Catalog, VariantFollowsTheInstrumentOutsideTheServiceMode) {
    TFirmwares c;
    EXPECT_TRUE(c.ChooseVariant("509iDW", false));
    EXPECT_EQ(2u, c.ItemIndex);
    EXPECT_EQ(QStringLiteral("512bLE"), c.Selected().snCK_firmware_release);
    EXPECT_TRUE(c.ChooseVariant("511ebu", false));
    EXPECT_EQ(1u, c.ItemIndex);
    EXPECT_FALSE(c.ChooseVariant("511vLE", false));  // LE: no variant
    EXPECT_EQ(1u, c.ItemIndex);
    EXPECT_FALSE(c.ChooseVariant("DW", false));  // two characters only
    EXPECT_FALSE(c.ChooseVariant("509iDW", true));
    EXPECT_EQ(1u, c.ItemIndex);
}

class FirmwareFileTest : public ::testing::Test {
protected:
    QString Write(const QByteArray& bytes) {
        const QString path = dir.path() + "/fw.bin";
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        return path;
    }
    static QByteArray Field(const char* text) {
        QByteArray b(text);
        b.resize(64, '\0');
        return b;
    }
    QTemporaryDir dir;
    TBinStream buffer;
};

TEST_F(FirmwareFileTest, HeaderLayoutOfExactlyTheMinimumIsComplete) {
    QByteArray image(0x60000, char(0x5A));
    const auto r = ReadFirmwareFile(Write(Field("Chromatik V") + Field("512x") + Field("Jan 1") + image), buffer);
    EXPECT_EQ(393408u, r.bytesRead);
    EXPECT_TRUE(r.messages.isEmpty());
    EXPECT_EQ(QStringLiteral("Chromatik V"), FieldText(buffer.CDeviceName));
    EXPECT_EQ(QStringLiteral("512x"), FieldText(buffer.CReleaseNumber));
    EXPECT_EQ(0x5A, buffer.Data[0x5FFFF]);
    EXPECT_EQ(0xFF, buffer.Data[0x60000]);
}

TEST_F(FirmwareFileTest, OneByteShortIsMissingData) {
    QByteArray image(0x60000 - 1, char(0x5A));
    const auto r = ReadFirmwareFile(Write(Field("Chromatik V") + Field("512x") + Field("Jan 1") + image), buffer);
    EXPECT_EQ(393407u, r.bytesRead);
    EXPECT_EQ(QStringList{QStringLiteral("Error: Missing data")}, r.messages);
}

TEST_F(FirmwareFileTest, TrailerLayoutHasItsTextsAfterTheImage) {
    QByteArray image(0x60000, char(0x11));
    const auto r = ReadFirmwareFile(Write(image + Field("Chromatik V") + Field("511q") + Field("Feb 2")), buffer);
    EXPECT_EQ(393408u, r.bytesRead);
    EXPECT_EQ(QStringLiteral("511q"), FieldText(buffer.CReleaseNumber));
    EXPECT_EQ(0x11, buffer.Data[0]);
}

TEST_F(FirmwareFileTest, EmptyAndMissingFilesReadNothing) {
    auto r = ReadFirmwareFile(Write(QByteArray()), buffer);
    EXPECT_EQ(0u, r.bytesRead);
    EXPECT_EQ(4, r.messages.size());  // the image part and the three texts
    r = ReadFirmwareFile(dir.path() + "/missing.bin", buffer);
    EXPECT_FALSE(r.opened);
    EXPECT_EQ(0u, r.bytesRead);
    EXPECT_TRUE(std::all_of(buffer.Data.begin(), buffer.Data.end(), [](auto b) { return b == 0xFF; }));
}

TEST_F(FirmwareFileTest, HugeHeaderFileFillsAtMostTheFlash) {
    QByteArray image(0x100000 + 5000, char(0x22));
    const auto r = ReadFirmwareFile(Write(Field("Chromatik V") + Field("512x") + Field("d") + image), buffer);
    EXPECT_EQ(192u + 0x100000u, r.bytesRead);
    EXPECT_EQ(0x100000u, buffer.Data.size());
}

TEST(DateTextTest, ShortNamesOfTheBaseLanguage) {
    EXPECT_EQ(QStringLiteral("Di 1. Feb 2022"), DateText(QDate(2022, 2, 1)));
    EXPECT_EQ(QStringLiteral("So 13. Mär 2022"), DateText(QDate(2022, 3, 13)));
    EXPECT_EQ(QStringLiteral("Mo 25. Dez 2023"), DateText(QDate(2023, 12, 25)));
    EXPECT_TRUE(DateText(QDate()).startsWith(QStringLiteral("??")));
}

}  // namespace
}  // namespace ckupdate
