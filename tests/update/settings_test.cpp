// The settings store, window placement, the service-mode switch, the language
// override, and the settings written back to the instrument after an update.
#include "update/config/folders.h"
#include "update/config/settings_store.h"
#include "update/firmware/date_text.h"
#include "update/firmware/settings_backup.h"

#include <gtest/gtest.h>

#include <climits>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstring>

namespace ckupdate {
namespace {

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path());
    }
    QString IniFile() const { return dir.path() + "/TOLA/CK-Update.ini"; }
    void WriteIni(const QByteArray& text) {
        QDir().mkpath(dir.path() + "/TOLA");
        QFile f(IniFile());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    QTemporaryDir dir;
};

TEST_F(SettingsStoreTest, FirstStartGivesEveryDefault) {
    ProgramSettings s;
    s.BluetoothDevice = "stale";
    const auto env = SettingsStore::LoadSettings(s, {"/opt/tola/bin/Tola_CK_Update"}, "German");
    EXPECT_FALSE(env.ServiceMode);
    EXPECT_EQ(QStringLiteral("/opt/tola/bin/"), env.ProgramFolder);
    EXPECT_EQ(QStringLiteral("/opt/tola/bin/EULA-EN.rtf"), s.ViewerEULAFile);
    EXPECT_TRUE(s.BluetoothDevice.isEmpty());
    EXPECT_TRUE(s.ShowRamDataMenu);
    EXPECT_FALSE(s.ShowLiveDataMenu);
    EXPECT_EQ(QStringLiteral("R:\\E_Allgemein\\DeliverySettings\\"), s.PathDeliverySettings);
    EXPECT_TRUE(s.VerifyBeforeHeader) << "a weak flash cell must not end in \"Update completed\"";
    EXPECT_FALSE(s.FirmwareBackupBluetooth);
    EXPECT_EQ(3, s.FirmwareBackupsKept);
}

TEST_F(SettingsStoreTest, GarbageNumbersGiveTheDefaultAndTextsSurviveARoundTrip) {
    WriteIni("[Options]\nShowRamDataMenu=yes please\nShowLiveDataMenu=1\nBluetoothDevice=00:80:25:AB:CD:01\n"
             "FirmwareBackupBluetooth=1\nFirmwareBackupsKept=0\n"
             "[Files]\nPathDeliverySettings=Q:\\\\other\\\\\n");
    ProgramSettings s;
    SettingsStore::LoadSettings(s, {"/x/p"}, "deutsch");
    EXPECT_TRUE(s.ShowRamDataMenu);
    EXPECT_TRUE(s.ShowLiveDataMenu);
    EXPECT_EQ(QStringLiteral("00:80:25:AB:CD:01"), s.BluetoothDevice);
    EXPECT_EQ(QStringLiteral("/x/EULA-GE.rtf"), s.ViewerEULAFile);
    EXPECT_TRUE(s.FirmwareBackupBluetooth);
    EXPECT_EQ(1, s.FirmwareBackupsKept) << "at least one copy is kept";
    const QString delivery = s.PathDeliverySettings;

    s.FileNameBinStream = "/home/u/CK_STM_App_Binary.bin";
    s.PathDeliverySettings = "changed here";  // read, never written
    SettingsStore::SaveSettings(s);
    ProgramSettings again;
    SettingsStore::LoadSettings(again, {"/x/p"}, "French");
    EXPECT_EQ(s.FileNameBinStream, again.FileNameBinStream);
    EXPECT_EQ(delivery, again.PathDeliverySettings);
    EXPECT_EQ(QStringLiteral("/x/EULA-"), again.ViewerEULAFile);
    QSettings raw(IniFile(), QSettings::IniFormat);
    EXPECT_EQ(QStringLiteral("1"), raw.value("Options/ShowLiveDataMenu").toString());
    EXPECT_EQ(QString(""), raw.value("Version/Ver").toString());
}

TEST(ServiceMode, OnlyTheExactFirstArgument) {
    EXPECT_TRUE(IsServiceMode({"prog", "-cFW_Select"}));
    EXPECT_FALSE(IsServiceMode({"prog", "-x", "-cFW_Select"}));
    EXPECT_FALSE(IsServiceMode({"prog", "-cfw_select"}));
    EXPECT_FALSE(IsServiceMode({"prog"}));
}

TEST(WindowPlacement, ClampsToTheDesktop) {
    const WindowRect desktop{0, 0, 1920, 1080};
    EXPECT_EQ(1620, PlaceWindow(5000, 10, 400, 300, desktop).left);
    EXPECT_EQ(0, PlaceWindow(-50, 10, 400, 300, desktop).left);
    EXPECT_EQ(880, PlaceWindow(10, 5000, 400, 300, desktop).top);
    const WindowRect centred = PlaceWindow(std::nullopt, std::nullopt, 401, 301, desktop);
    EXPECT_EQ(759, centred.left);
    EXPECT_EQ(389, centred.top);
    const WindowRect second{-1280, 0, 3200, 1024};  // a monitor left of the primary one
    EXPECT_EQ(-1280, PlaceWindow(-2000, 0, 400, 300, second).left);
    // Sizes from an edited settings file may be any number at all.
    const WindowRect extreme = PlaceWindow(std::nullopt, std::nullopt, INT_MIN, INT_MAX, desktop);
    EXPECT_EQ(1620, extreme.left);
    EXPECT_EQ(0, extreme.top);
}

TEST_F(SettingsStoreTest, WindowGeometryRoundTrip) {
    const WindowRect desktop{0, 0, 1920, 1080};
    SaveWindowPos("frmCkUpdate", {100, 120, 640, 480});
    EXPECT_EQ((WindowRect{100, 120, 640, 480}), RestoreWindowPos("FRMCKUPDATE", {0, 0, 10, 10}, desktop, true));
    EXPECT_EQ((WindowRect{100, 120, 10, 10}), RestoreWindowPos("frmckupdate", {0, 0, 10, 10}, desktop, false));
    QSettings raw(IniFile(), QSettings::IniFormat);
    EXPECT_EQ(QStringLiteral("640"), raw.value("Position/FRMCKUPDATE_W").toString());
}

TEST_F(SettingsStoreTest, LanguageOverrideReportsOnlyAChange) {
    const QString program = "/opt/tola/bin/Tola_CK_Update";
    EXPECT_EQ(QStringLiteral("de-DE"), GetLanguageOverride(program));
    EXPECT_FALSE(StoredLanguageOverride(program).has_value());
    EXPECT_TRUE(SetLanguageOverride(program, "ENU"));
    EXPECT_EQ(QStringLiteral("ENU"), StoredLanguageOverride(program).value_or(QString()));
    EXPECT_FALSE(SetLanguageOverride(program, "ENU"));
    EXPECT_EQ(QStringLiteral("ENU"), GetLanguageOverride(program));
    EXPECT_TRUE(SetLanguageOverride(program, "enu"));
    EXPECT_EQ(QStringLiteral("de-DE"), GetLanguageOverride("/other/program"));
}

TEST(ProgramVersion, CompiledIn) { EXPECT_EQ(4, GetProgramVersionText("x").split('.').size()); }

TEST(Folders, CreatesOrFallsBack) {
    QTemporaryDir dir;
    const QString nested = dir.path() + "/a/b/c";
    EXPECT_EQ(nested, CheckAndForceFolder(nested, std::nullopt));
    EXPECT_TRUE(QDir(nested).exists());
    QFile blocker(dir.path() + "/file");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_EQ(QStringLiteral("."), CheckAndForceFolder(dir.path() + "/file/sub", std::nullopt));
    qputenv("XDG_DATA_HOME", dir.path().toUtf8() + "/data");
    EXPECT_EQ(dir.path() + "/data/TOLA/CK_Helper", CheckMainAppDataDir(QString()));
}

// --- settings written back after an update ---

TEST(FillInVersionDate, TablesAndFixedValues) {
    EXPECT_TRUE(UsesTableA("511vLE"));
    EXPECT_TRUE(UsesTableA("509SD"));
    EXPECT_TRUE(UsesTableA("509sddw"));
    EXPECT_FALSE(UsesTableA("509IDW"));
    EXPECT_FALSE(UsesTableA("511"));

    COMM_VERSION v{};
    std::strcpy(v.snSerial_number, "H51234");
    std::strcpy(v.snMFG1, "CPU-STM");
    CKNG_SETTINGS s{};
    for (float& f : s.qfRef_slope) f = -1.0f;
    s.dwHidConnectTimeout_ms = 999;
    s.dBitValues1 = 0xFF;
    const QDate today(2022, 2, 1);
    FillInVersionDate(v, s, {"Chromatik® V with a very long product name", "511vLE", "Februar 01, 2022"}, today,
                      QTime(9, 5, 7));
    EXPECT_STREQ("Chromatik\xAE V with a very ", v.snName);
    EXPECT_EQ(25u, std::strlen(v.snName));
    EXPECT_STREQ("511vLE", v.snRelease);
    EXPECT_STREQ("CK0A.00.31.00", v.snVersion);
    EXPECT_STREQ("Februar 01, 2022", v.snRelease_date);
    EXPECT_EQ(DateText(today).toLatin1(), QByteArray(v.snInstall_date));
    EXPECT_STREQ("09:05:07", v.snMFG3);
    EXPECT_STREQ("H51234", v.snSerial_number);
    EXPECT_STREQ("CPU-STM", v.snMFG1);

    EXPECT_EQ(0.511f, s.qfRef_slope[0]);
    EXPECT_EQ(111.11f, s.qfRef_slope[6]);
    EXPECT_EQ(10.0f, s.qfRef_slope[10]);
    EXPECT_EQ(-1.0f, s.qfRef_slope[11]);
    EXPECT_EQ(1325.0f, s.qfB[0]);
    EXPECT_EQ(100.01f, s.qfB[15]);
    EXPECT_EQ(20u, s.dAuto_min);
    EXPECT_EQ(100u, s.dAuto_max);
    EXPECT_EQ(9, s.bySapTabCounts);
    EXPECT_EQ(50, s.byDarkDeltaLimitWarning);
    EXPECT_EQ(100, s.byDarkDeltaLimitError);
    EXPECT_EQ(180000u, s.dwHidConnectTimeout_ms);
    EXPECT_EQ(0xCFu, s.dBitValues1);
    EXPECT_EQ(120, s.byTftBackLight);

    CKNG_SETTINGS b{};
    b.dwHidConnectTimeout_ms = 1000;
    FillInVersionDate(v, b, {"x", "509IDW", "d"}, today, QTime(0, 0));
    EXPECT_EQ(0.313f, b.qfRef_slope[0]);
    EXPECT_EQ(1075.012f, b.qfRef_slope[2]);
    EXPECT_EQ(1000u, b.dwHidConnectTimeout_ms);
}

}  // namespace
}  // namespace ckupdate
