// The firmware backup of an update and the rollback that writes it back,
// against the virtual Chromatik V: the copy of the whole application area is
// taken before the first erase (over USB always, over Bluetooth when asked
// for), carries a valid checksum and its instrument's record, and brings the
// instrument back to exactly its previous flash, with its settings, also after
// a longer firmware; another instrument's copy is refused unless confirmed; a
// copy that cannot be written stops the update before anything is erased.
#include "update/binding/linked_functions.h"
#include "update/device/device_connection.h"
#include "update/firmware/ck_update_engine.h"
#include "update/firmware/firmware_backup.h"
#include "update/firmware/firmware_catalog.h"
#include "update/firmware/settings_backup.h"
#include "update/firmware/update_workflow.h"

#include "sim/simulator.h"

#include "tests/update/connection_host.h"
#include "tests/update/fake_library.h"
#include "tests/update_e2e/small_image.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QDate>
#include <QFile>
#include <QTemporaryDir>
#include <QTime>

#include <chrono>
#include <cstring>
#include <thread>

namespace ckupdate::testing {
namespace {

using tola::sim::EventKind;
using namespace std::chrono_literals;

enum class Copy { Default, Asked, Refused, Unwritable };

struct Case {
    const char* name;
    int kind;   // 4 USB, 10 Bluetooth
    Copy copy;  // what the update is told, or what stands in the way
    bool copied;     // a backup is expected
    bool rollsBack;  // and then written back (over USB: Bluetooth runs are long)
    bool longerImage = false;  // the update writes the catalog's whole image, longer than the firmware it replaces
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

constexpr Case kCases[] = {
    {"UsbByDefault", 4, Copy::Default, true, true},
    {"WholeAreaBackAfterALongerFirmware", 4, Copy::Default, true, true, true},
    {"UsbRefused", 4, Copy::Refused, false, false},
    {"BluetoothWhenAsked", 10, Copy::Asked, true, false},
    {"BluetoothNotByDefault", 10, Copy::Default, false, false},
    {"UnwritableFolderStopsBeforeErasing", 4, Copy::Unwritable, false, false},
};

constexpr const char* kRelease = "512tst";
constexpr const char* kSerial = "H51234";

class Rollback : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        const std::string base = dir.path().toStdString();
        ::setenv("TOLA_USB_DIR", (base + "/usb").c_str(), 1);
        ::setenv("TOLA_BT_DIR", (base + "/bt").c_str(), 1);
        tola::sim::InstrumentConfig c;
        c.kind = GetParam().kind;
        c.firmware = "511vLE";
        c.serial = kSerial;
        sim = std::make_unique<tola::sim::Simulator>(base + "/usb", base + "/bt");
        instrument = &sim->add(c);
        sim->start();
        ASSERT_TRUE(instrument->wait_until_present(true, 5s));
    }
    void TearDown() override {
        connection.CloseDev();
        sim.reset();
    }

    bool Connect() {
        const CommApi api(&LinkedCommFunctions());
        connection.CloseDev();
        const std::uint32_t port = GetParam().kind == 10 ? kPortBluetooth : kPortUsb;
        if (port == kPortBluetooth) {
            BT_DEVICES found{};
            if (!api.CK_comm_BtDiscovery(&found) || found.iCount < 1) return false;
            api.CK_comm_BtSetDevice(&found.qBtDevice[0]);
        }
        connection.PortData().iPort = port;
        for (int attempt = 0; attempt < 150; ++attempt) {
            if (connection.OpenDev() == 1) return true;
            std::this_thread::sleep_for(100ms);
        }
        return false;
    }

    std::unique_ptr<TCkUpdateEngine> MakeEngine(bool rollback) {
        auto e = std::make_unique<TCkUpdateEngine>(CommApi(&LinkedCommFunctions()), host, view);
        UpdateOptions o;
        o.verifyBeforeHeader = true;
        o.backupFolder = dir.path() + "/settings-backups";
        o.historyFile = dir.path() + "/history.jsonl";
        o.firmwareBackupBluetooth = GetParam().copy == Copy::Asked;
        if (GetParam().copy == Copy::Refused) o.firmwareBackupUsb = false;
        if (rollback) o.firmwareBackupUsb = o.firmwareBackupBluetooth = false;  // as tolactl rollback
        e->SetOptions(o);
        e->SetDeviceInfo(connection.DevInfo());
        return e;
    }

    // The application area of the instrument's flash.
    std::vector<std::uint8_t> ApplicationArea() const {
        return instrument->peek(0x0800C000, 0x100000 - 0xC000).value_or(std::vector<std::uint8_t>{});
    }

    CKNG_SETTINGS ReadSettings() {
        CKNG_SETTINGS r{};
        char message[501] = {};
        EXPECT_TRUE(CommApi(&LinkedCommFunctions())
                        .CKPTransfer_local_structure(&connection.PortData(), &r, CKPSTRUCT_SETTINGS, sizeof r,
                                                     TOLA_DIRECTION_UPLOAD, message))
            << message;
        return r;
    }

    QString Folder() const { return dir.path() + "/firmware-backups"; }

    QTemporaryDir dir;
    std::unique_ptr<tola::sim::Simulator> sim;
    tola::sim::Instrument* instrument = nullptr;
    RecordingView view;
    TDeviceConnection connection{CommApi(&LinkedCommFunctions())};
    ConnectionHost host{connection};
};

TEST_P(Rollback, TheReplacedFirmwareIsKeptAndWrittenBack) {
    const Case& c = GetParam();
    ASSERT_TRUE(Connect());
    CKNG_SETTINGS original = ReadSettings();
    if (c.copy == Copy::Unwritable) {
        QFile blocker(Folder());  // a file where the folder should be
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }

    const std::vector<std::uint8_t> flash_before = ApplicationArea();
    auto update = MakeEngine(false);
    if (c.longerImage) {
        update->FillFromCatalog();
        ASSERT_GT(ImageEnd(update->FBinStream().Data), 0x20000u) << "longer than the firmware it replaces";
    } else {
        ASSERT_TRUE(update->OpenBinary(WriteSmallImage(dir.path(), kRelease)));
    }
    update->Run();
    if (c.copy == Copy::Unwritable) {
        EXPECT_NE(UpdateResult::Succeeded, update->LastResult());
        EXPECT_TRUE(update->LastRecord().message.contains("firmware backups")) << update->LastRecord().message.toStdString();
        EXPECT_TRUE(instrument->journal().entries(EventKind::Erase).empty()) << "erased without a backup";
        connection.CloseDev();
        ASSERT_TRUE(Connect()) << "the instrument left its boot loader";
        EXPECT_EQ("511vLE", instrument->firmware());
        return;
    }
    ASSERT_EQ(UpdateResult::Succeeded, update->LastResult()) << update->LastRecord().message.toStdString();
    const QVector<FirmwareBackup> copies = FirmwareBackupsOf(Folder(), kSerial);
    if (!c.copied) {
        EXPECT_TRUE(copies.isEmpty());
        EXPECT_TRUE(update->LastRecord().firmwareBackup.isEmpty());
        return;
    }
    ASSERT_EQ(1, copies.size());
    EXPECT_EQ("511vLE", copies.front().release);
    EXPECT_EQ(kSerial, copies.front().serial);
    EXPECT_EQ(5324u, copies.front().deviceCode);
    EXPECT_EQ(0x100000u, copies.front().coverEnd) << "the copy stands for the whole application area";
    EXPECT_EQ(copies.front().path, update->LastRecord().firmwareBackup) << "the history names the copy";
    QString why;
    EXPECT_TRUE(CheckFirmwareBackup(copies.front().path, &why)) << why.toStdString();
    if (!c.rollsBack) return;

    // Back to the previous firmware, with the settings brought up to date for it.
    connection.CloseDev();
    ASSERT_TRUE(Connect());
    ASSERT_EQ(c.longerImage ? "512bLE" : kRelease, instrument->firmware());
    const QString path = RollbackCopy(Folder(), kSerial, QString(), &why);
    ASSERT_FALSE(path.isEmpty()) << why.toStdString();
    auto rollback = MakeEngine(true);
    UpdateWorkflow flow(*rollback, host, view);
    // Another instrument's copy (the same bytes, recorded for another serial
    // number) needs an explicit confirmation.
    const QString other = dir.path() + "/other.bin";
    ASSERT_TRUE(QFile::copy(path, other));
    ASSERT_TRUE(QFile::copy(path + ".sha256", other + ".sha256"));
    QFile record(path + ".json");
    ASSERT_TRUE(record.open(QIODevice::ReadOnly));
    QFile other_record(other + ".json");
    ASSERT_TRUE(other_record.open(QIODevice::WriteOnly));
    other_record.write(record.readAll().replace(kSerial, "H59999"));
    other_record.close();
    EXPECT_THAT(flow.PrepareRollback(other, false).toStdString(), ::testing::HasSubstr("is of instrument H59999"));
    ASSERT_EQ(QString(), flow.PrepareRollback(path, false));
    rollback->Run();
    ASSERT_EQ(UpdateResult::Succeeded, rollback->LastResult()) << rollback->LastRecord().message.toStdString();
    connection.CloseDev();
    ASSERT_TRUE(Connect());
    EXPECT_EQ("511vLE", instrument->firmware());
    EXPECT_TRUE(ApplicationArea() == flash_before) << "the flash is exactly what it was, nothing of the longer firmware left";
    COMM_VERSION ignored{};
    FillInVersionDate(ignored, original, ReleaseTexts{"Chromatik V", "511vLE", ""}, QDate::currentDate(),
                      QTime::currentTime());
    const CKNG_SETTINGS now = ReadSettings();
    EXPECT_EQ(0, std::memcmp(&now, &original, sizeof now)) << "the settings are the instrument's own";
}

// The newest copies of an instrument are kept, found by their record's exact
// serial number ("H5" never takes the copies of "H5-2"); a changed one is refused.
TEST(FirmwareBackups, KeepsTheNewestOfExactlyTheirInstrumentAndRefusesAChangedCopy) {
    QTemporaryDir dir;
    TBinStream image;
    std::memcpy(image.CReleaseNumber.data(), "511vLE", 6);
    image.Data[0xC000] = 'A';
    const QDateTime t0 = QDateTime::fromString("2026-12-10T15:30:00Z", Qt::ISODate);
    auto write = [&](const char* serial, const QDateTime& t) {
        FirmwareBackup record;
        record.serial = serial;
        record.release = "511vLE";
        record.time = t;
        record.start = 0xC000;
        record.coverEnd = 0x100000;
        ASSERT_TRUE(WriteFirmwareBackup(FirmwareBackupPath(dir.path(), serial, t), record, image, 0xC001, nullptr));
    };
    for (int i = 0; i < 5; ++i) write("H5", t0.addSecs(i));
    write("H5-2", t0);
    write("", t0);
    PruneFirmwareBackups(dir.path(), "H5", 3);
    const QVector<FirmwareBackup> kept = FirmwareBackupsOf(dir.path(), "H5");
    ASSERT_EQ(3, kept.size());
    EXPECT_EQ(t0.addSecs(4), kept.front().time);
    EXPECT_EQ(t0.addSecs(2), kept.back().time);
    EXPECT_EQ(1, FirmwareBackupsOf(dir.path(), "H5-2").size()) << "another instrument's copies stay";
    EXPECT_TRUE(FirmwareBackupsOf(dir.path(), "").isEmpty()) << "no serial number matches another's copy";

    QFile f(kept.front().path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    f.seek(192 + 0xC000);
    f.write("B");
    f.close();
    QString why;
    EXPECT_TRUE(RollbackCopy(dir.path(), "H5", QString(), &why).isEmpty());
    EXPECT_TRUE(why.contains("checksum does not match")) << why.toStdString();
    EXPECT_FALSE(RollbackCopy(dir.path(), "H5", kept.back().path, &why).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Update, Rollback, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace ckupdate::testing
