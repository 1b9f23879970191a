// The update workflow against a scripted library and a simulated clock: the
// programming order, the retry policy, every failure path and its traffic lights.
#include "tests/update/connection_host.h"
#include "tests/update/fake_library.h"

#include "update/firmware/ck_update_engine.h"
#include "update/firmware/firmware_catalog.h"
#include "update/firmware/stored_settings.h"
#include "update/program_trace.h"
#include "update/device/device_connection.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>

namespace ckupdate::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

using Host = ConnectionHost;

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake() = FakeLibrary{};
        Firmwares().SelectFirmware(0);
        SetProgramTraceSink([this](const std::string& line) { traces.push_back(line); });
    }
    void TearDown() override { SetProgramTraceSink({}); }

    // Connects over the port and makes the engine for the connected instrument.
    TCkUpdateEngine& Connect(std::uint32_t port = kPortUsb, UpdateOptions options = {}) {
        connection.PortData().iPort = port;
        EXPECT_EQ(1, connection.OpenDev());
        engine = std::make_unique<TCkUpdateEngine>(CommApi(&table), host, view, clock);
        if (options.backupFolder.isEmpty()) options.backupFolder = backups.path();
        // The scripted controller serves no flash to copy: the copy of the
        // replaced firmware is proven against the virtual instrument.
        options.firmwareBackupUsb = false;
        engine->SetOptions(options);
        engine->SetDeviceInfo(connection.DevInfo());
        fake().calls.clear();
        return *engine;
    }

    const std::vector<std::uint8_t>& Image() { return Firmwares().Selected().qbyCK_default; }

    std::vector<std::int64_t> Erased() const {
        std::vector<std::int64_t> sectors;
        for (const Call& c : fake().calls_named("command"))
            if (c.a == 9) sectors.push_back(c.b);
        return sectors;
    }
    int Commands(std::int64_t code) const {
        const auto c = fake().calls_named("command");
        return static_cast<int>(std::count_if(c.begin(), c.end(), [&](const Call& x) { return x.a == code; }));
    }
    bool HeaderWritten() const {
        const auto w = fake().calls_named("write");
        return std::any_of(w.begin(), w.end(), [](const Call& c) { return c.a == 0x0800C000; });
    }

    CommFunctions table = FakeFunctions();
    TDeviceConnection connection{CommApi(&table)};
    Host host{connection};
    FakeClock clock;
    RecordingView view;
    std::unique_ptr<TCkUpdateEngine> engine;
    std::vector<std::string> traces;
    QTemporaryDir backups;
};

TEST_F(EngineTest, WholeUpdateErasesProgramsAndRestoresInOrder) {
    TCkUpdateEngine& e = Connect();
    e.Run();

    ASSERT_EQ(UpdateResult::Succeeded, e.LastResult()) << (view.messages.empty() ? "" : view.messages.back().toStdString());
    EXPECT_THAT(view.results, ElementsAre(true));
    EXPECT_EQ(StepState::Done, view.last(UpdateStep::Completed));

    // Programming mode first, then sectors 3..8 (the image ends in sector 8), once each, in order.
    const auto& calls = fake().calls;
    const auto enter = std::find_if(calls.begin(), calls.end(), [](const Call& c) { return c.name == "command" && c.a == 11; });
    const auto first_erase = std::find_if(calls.begin(), calls.end(), [](const Call& c) { return c.name == "command" && c.a == 9; });
    ASSERT_NE(calls.end(), enter);
    EXPECT_LT(enter - calls.begin(), first_erase - calls.begin());
    EXPECT_THAT(Erased(), ElementsAre(3, 4, 5, 6, 7, 8));

    // Every write lies in a sector already erased, is not blank, and the header block comes last.
    const auto& image = Image();
    std::vector<std::int64_t> erased_so_far;
    std::uint32_t erased_end = 0xC000;
    const std::uint32_t ends[] = {0x4000, 0x8000, 0xC000, 0x10000, 0x20000, 0x40000, 0x60000, 0x80000, 0xA0000};
    std::vector<Call> writes;
    for (const Call& c : calls) {
        if (c.name == "command" && c.a == 9) erased_end = ends[c.b];
        if (c.name != "write") continue;
        writes.push_back(c);
        const auto offset = static_cast<std::uint32_t>(c.a - 0x08000000);
        EXPECT_LE(offset + c.b, erased_end) << std::hex << offset;
        EXPECT_TRUE(std::any_of(image.begin() + offset, image.begin() + offset + c.b, [](auto b) { return b != 0xFF; }))
            << "blank block sent at " << std::hex << offset;
        EXPECT_LE(c.b, 128);
    }
    ASSERT_FALSE(writes.empty());
    EXPECT_EQ(0x0800C000, writes.back().a);
    EXPECT_EQ(64, writes.back().b);
    EXPECT_EQ(1, std::count_if(writes.begin(), writes.end(), [](const Call& c) { return c.a == 0x0800C000; }));

    // The flash holds the image; the boot area was never written.
    EXPECT_TRUE(std::equal(image.begin() + 0xC000, image.end(), fake().flash.begin() + 0xC000));
    EXPECT_TRUE(std::all_of(fake().flash.begin(), fake().flash.begin() + 0xC000, [](auto b) { return b == 0xFF; }));

    // Command 10 after programming only: the instrument came back with the new
    // firmware, so nothing is left to leave at the end.  The fixed waits of the workflow.
    EXPECT_EQ(1, Commands(10));
    for (std::uint32_t wait : {1000u, 3000u, 2000u})
        EXPECT_NE(clock.sleeps.end(), std::find(clock.sleeps.begin(), clock.sleeps.end(), wait)) << wait;
    EXPECT_THAT(fake().calls_named("set_state").back().a, 53);
    EXPECT_EQ(QStringLiteral("512bLE"), QString::fromLatin1(fake().version.snRelease));
    EXPECT_EQ(job::kTest, connection.JobFlags()) << "connected, watch-idle cleared at the end";
}

TEST_F(EngineTest, BlocksEndAtSectorBoundariesAndTheNextSectorStartsWithItsErase) {
    Connect().Run();
    const auto& calls = fake().calls;
    auto at = std::find_if(calls.begin(), calls.end(), [](const Call& c) { return c.name == "write" && c.a == 0x0800FFC0; });
    ASSERT_NE(calls.end(), at);
    EXPECT_EQ(64, at->b) << "shortened to end at 0x10000";
    ++at;
    ASSERT_EQ("command", at->name);
    EXPECT_EQ(9, at->a);
    EXPECT_EQ(4, at->b);
    ++at;
    EXPECT_EQ("write", at->name);
    EXPECT_EQ(0x08010000, at->a);
}

TEST_F(EngineTest, BluetoothWrites500ByteBlocksAndA64ByteHeader) {
    TCkUpdateEngine& e = Connect(kPortBluetooth);
    e.Run();
    ASSERT_EQ(UpdateResult::Succeeded, e.LastResult());
    const auto writes = fake().calls_named("write");
    EXPECT_EQ(500, writes.front().b);
    EXPECT_EQ(0x0800C040, writes.front().a);
    EXPECT_EQ(0x0800C000, writes.back().a);
    EXPECT_EQ(64, writes.back().b);
    // Over Bluetooth the open after the restart comes without the 3 s wait.
    EXPECT_EQ(clock.sleeps.end(), std::find(clock.sleeps.begin(), clock.sleeps.end(), 3000u));
}

TEST_F(EngineTest, SectorErasedOnlyAtTheThirdAttempt) {
    TCkUpdateEngine& e = Connect();
    fake().fail_next[{"command", 905}] = 2;
    e.Run();
    ASSERT_EQ(UpdateResult::Succeeded, e.LastResult());
    const auto erased = Erased();
    EXPECT_EQ(3, std::count(erased.begin(), erased.end(), 5));
    const auto pauses = std::count(clock.sleeps.begin(), clock.sleeps.end(), 300u);
    EXPECT_EQ(2, pauses);
    const auto lines = std::count_if(traces.begin(), traces.end(), [](const std::string& l) {
        return l.find("PageErase: Page=5, result=") != std::string::npos;
    });
    EXPECT_EQ(1, lines);
    EXPECT_TRUE(std::any_of(traces.begin(), traces.end(), [](const std::string& l) {
        return l.ends_with(" PageErase: Page=5, result=TRUE\r");
    }));
}

TEST_F(EngineTest, BlockThatNeverWritesStopsBeforeTheHeader) {
    TCkUpdateEngine& e = Connect();
    fake().never_write_address = 0x0800C040;
    e.Run();
    EXPECT_EQ(3, std::count_if(fake().calls.begin(), fake().calls.end(),
                               [](const Call& c) { return c.name == "write" && c.a == 0x0800C040; }));
    EXPECT_THAT(view.messages, ElementsAre(QStringLiteral("Error: Programming page 3, address 0x0800C040, lenth 0x80"),
                                           QStringLiteral("Error: Update canceled"), ::testing::_));
    EXPECT_THAT(view.messages.back().toStdString(), HasSubstr("in its boot loader"));
    EXPECT_EQ(StepState::Failed, view.last(UpdateStep::Program));
    EXPECT_EQ(QStringLiteral("Update error"), view.lastText(UpdateStep::Program));
    EXPECT_FALSE(HeaderWritten());
    EXPECT_EQ(1, Commands(10)) << "programming mode is left at the end";
    EXPECT_TRUE(std::any_of(traces.begin(), traces.end(), [](const std::string& l) {
        return l.ends_with("ProgramFlash: Adress=0800c040, Page=3, length=128, result=FALSE\r");
    }));
    EXPECT_EQ(UpdateResult::Failed, e.LastResult());
}

TEST_F(EngineTest, SectorThatNeverErasesStopsTheUpdate) {
    TCkUpdateEngine& e = Connect();
    fake().fail_next[{"command", 903}] = -1;
    e.Run();
    EXPECT_THAT(view.messages, ElementsAre(QStringLiteral("Error: Deleting page 3"), QStringLiteral("Error: Update canceled"),
                                           ::testing::_));
    EXPECT_TRUE(fake().calls_named("write").empty());
    EXPECT_EQ(1, Commands(10));
    EXPECT_EQ(2, std::count(clock.sleeps.begin(), clock.sleeps.end(), 300u));
}

TEST_F(EngineTest, UnreadableSettingsEndBeforeProgrammingMode) {
    TCkUpdateEngine& e = Connect();
    fake().fail_next[{"transfer", 21 * 10 + 2}] = 2;
    e.Run();
    EXPECT_EQ(StepState::Failed, view.last(UpdateStep::ReadSetup));
    EXPECT_EQ(QStringLiteral("Error reading setup"), view.lastText(UpdateStep::ReadSetup));
    EXPECT_TRUE(view.messageBoxes.empty());
    EXPECT_THAT(view.messages, ElementsAre(QStringLiteral("Error: Update canceled")));
    EXPECT_TRUE(fake().calls_named("command").empty()) << "no programming mode, no command 10";
    EXPECT_EQ(1, e.LastRecord().step);
    EXPECT_EQ(UpdateResult::Failed, e.LastResult());
}

TEST_F(EngineTest, SettingsAnsweredAtTheSecondAttemptAreNoError) {
    TCkUpdateEngine& e = Connect();
    fake().fail_next[{"transfer", 3 * 10 + 2}] = 1;
    e.Run();
    EXPECT_EQ(UpdateResult::Succeeded, e.LastResult());
}

TEST_F(EngineTest, RefusedProgrammingModeSendsNoEraseAndNoLeave) {
    TCkUpdateEngine& e = Connect();
    fake().fail_next[{"command", 11}] = 1;
    e.Run();
    EXPECT_EQ(StepState::Failed, view.last(UpdateStep::Program));
    EXPECT_TRUE(Erased().empty());
    EXPECT_EQ(0, Commands(10));
    EXPECT_TRUE(std::any_of(traces.begin(), traces.end(), [](const std::string& l) {
        return l.ends_with("SendCommand: Command=11, Data=0, result=FALSE\r");
    }));
}

TEST_F(EngineTest, InstrumentNotBackLeavesStepThreeBusyAndWritesNoSettings) {
    TCkUpdateEngine& e = Connect();
    // "Not yet" for longer than the 30 s the restarted instrument may take.
    fake().open_results = std::vector<std::int32_t>(200, 2);
    e.Run();
    EXPECT_EQ(StepState::Busy, view.last(UpdateStep::WaitReset));
    EXPECT_GT(fake().calls_named("poll_initialize").size(), 100u) << "polled every 250 ms for 30 s";
    EXPECT_THAT(view.messages.back().toStdString(), HasSubstr("has not come back after its restart"));
    const auto pending = PendingSettingsFor(backups.path(), QStringLiteral("H51234"));
    ASSERT_TRUE(pending.has_value()) << "the settings stay on disk for a later restore";
    EXPECT_EQ(QStringLiteral("programmed"), pending->phase);
    EXPECT_EQ(StepState::Off, view.last(UpdateStep::WriteSetup));
    EXPECT_TRUE(view.results.empty());
    for (const Call& c : fake().calls_named("transfer")) EXPECT_EQ(TOLA_DIRECTION_UPLOAD, c.b);
    EXPECT_EQ(UpdateResult::NotBack, e.LastResult());
}

TEST_F(EngineTest, BluetoothTriesTheOpenTwiceAfterTheRestart) {
    TCkUpdateEngine& e = Connect(kPortBluetooth);
    fake().open_results = {3, 1};
    e.Run();
    EXPECT_EQ(UpdateResult::Succeeded, e.LastResult());
    EXPECT_NE(clock.sleeps.end(), std::find(clock.sleeps.begin(), clock.sleeps.end(), 1000u));
}

TEST_F(EngineTest, RefusedSettingsWriteMarksStepFourAndSaysWhy) {
    TCkUpdateEngine& e = Connect();
    fake().fail_next[{"transfer", 3 * 10 + 1}] = 2;
    e.Run();
    EXPECT_EQ(StepState::Failed, view.last(UpdateStep::WriteSetup));
    EXPECT_EQ(QStringLiteral("Error writing setup"), view.lastText(UpdateStep::WriteSetup));
    EXPECT_THAT(view.messageBoxes, ElementsAre(QStringLiteral("Error writing version.\n\rStructure not answered")));
    EXPECT_TRUE(view.results.empty());
    EXPECT_EQ(UpdateResult::Failed, e.LastResult());
    EXPECT_EQ(4, e.LastRecord().step);
}

TEST_F(EngineTest, StoreRefusedIsAWriteError) {
    TCkUpdateEngine& e = Connect();
    fake().fail_next[{"set_state", 53}] = 1;
    e.Run();
    EXPECT_THAT(view.messageBoxes, ElementsAre(QStringLiteral("Error saving to EEPROM.")));
}

TEST_F(EngineTest, VerifyDifferenceKeepsTheHeaderUnwritten) {
    UpdateOptions o;
    o.verifyBeforeHeader = true;
    TCkUpdateEngine& e = Connect(kPortUsb, o);
    fake().corrupt_read_at = 0x20010;
    e.Run();
    EXPECT_FALSE(HeaderWritten());
    ASSERT_FALSE(view.messages.empty());
    EXPECT_EQ(QStringLiteral("Error: Verifying page 5, address 0x08020010"), view.messages.front());
    EXPECT_EQ(StepState::Failed, view.last(UpdateStep::Program));
    EXPECT_EQ(1, Commands(10));
}

TEST_F(EngineTest, VerifyReadsTheWholeProgrammedRangeBeforeTheHeader) {
    UpdateOptions o;
    o.verifyBeforeHeader = true;
    TCkUpdateEngine& e = Connect(kPortUsb, o);
    e.Run();
    ASSERT_EQ(UpdateResult::Succeeded, e.LastResult());
    std::uint64_t read = 0;
    std::uint64_t header_reads = 0;
    for (const Call& c : fake().calls_named("read")) (c.a == 0x0800C000 ? header_reads : read) += static_cast<std::uint64_t>(c.b);
    EXPECT_EQ(Image().size() - 0xC040, read);
    EXPECT_EQ(64u, header_reads) << "the header block is read back after it was written";
    const auto& calls = fake().calls;
    const auto last_read = std::find_if(calls.rbegin(), calls.rend(),
                                        [](const Call& c) { return c.name == "read" && c.a != 0x0800C000; });
    const auto header = std::find_if(calls.rbegin(), calls.rend(), [](const Call& c) { return c.name == "write" && c.a == 0x0800C000; });
    EXPECT_LT(header - calls.rbegin(), last_read - calls.rbegin()) << "reads come before the header block";
}

TEST_F(EngineTest, PortivoQuestionAbortSendsNothing) {
    fake().device_type = 4324;
    TCkUpdateEngine& e = Connect();
    view.answerYes = false;
    e.Run();
    EXPECT_THAT(view.questions, ElementsAre(QStringLiteral("A PORTIVO will be updated with SUPERNA software.\n\rContinue?")));
    EXPECT_TRUE(fake().calls.empty());
    EXPECT_TRUE(view.cancelEnabled);
}

TEST_F(EngineTest, PortivoAnsweredYesMeetsTheProcessorRule) {
    fake().device_type = 4324;
    TCkUpdateEngine& e = Connect();
    e.Run();
    EXPECT_THAT(view.errorBoxes, ElementsAre(QStringLiteral("Update cannot be processed.\n\rThis software can only be used "
                                                            "for TOLA Chromatik® V.\n\r")));
    EXPECT_TRUE(fake().calls.empty());
}

TEST_F(EngineTest, SameReleaseNeedsTheServiceMode) {
    Firmwares().SelectFirmware(3);  // 511vLE, what the instrument runs
    TCkUpdateEngine& e = Connect();
    e.Run();
    EXPECT_THAT(view.errorBoxes, ElementsAre(QStringLiteral("No update required.\n\rFirmware is up to date\n\r")));
    EXPECT_EQ(UpdateResult::Refused, e.LastResult());
    EXPECT_TRUE(fake().calls.empty());

    UpdateOptions service;
    service.serviceMode = true;
    service.firmwareBackupUsb = false;
    service.backupFolder = e.Options().backupFolder;
    e.SetOptions(service);
    e.DiscardBinary();
    e.Run();
    EXPECT_EQ(UpdateResult::Succeeded, e.LastResult()) << e.LastRecord().message.toStdString();
}

// The count-down includes the copy of the replaced firmware where one is taken.
TEST_F(EngineTest, CountDownIncludesTheFirmwareCopyWhereOneIsTaken) {
    TCkUpdateEngine& e = Connect();
    e.FillFromCatalog();
    e.Show();
    EXPECT_EQ(0u, e.FTimeBackupMs);
    UpdateOptions o = e.Options();
    o.firmwareBackupUsb = true;
    e.SetOptions(o);
    e.Show();
    EXPECT_GT(e.FTimeBackupMs, 0u);
    EXPECT_LT(e.FTimeBackupMs, e.FTimeUpdateMs) << "reading costs less than programming";
    EXPECT_EQ(e.FTimeReadSettingsMs + e.FTimeBackupMs + e.FTimeUpdateMs + e.FTimeResetMs + e.FTimeWriteSettingsMs,
              view.countDowns.back().remainingMs);
}

TEST_F(EngineTest, CountDownOfALaterUpdateStartsAtZero) {
    TCkUpdateEngine& e = Connect();
    e.Run();
    EXPECT_EQ(0u, e.FTimeUpdateMs);
    EXPECT_EQ(QStringLiteral("Remaining time: 00:00"), view.countDowns.back().label);
    // Another instrument, still on the old firmware.
    fake().flash.assign(fake().flash.size(), 0xFF);
    e.SetDeviceInfo(TDeviceInfo{5324, 3, QStringLiteral("511vLE"), QStringLiteral("H51234")});
    e.Run();
    ASSERT_EQ(UpdateResult::Succeeded, e.LastResult());
    const auto first = std::find_if(view.countDowns.rbegin(), view.countDowns.rend(),
                                    [](const CountDown& c) { return c.maximumSeconds > 0; });
    EXPECT_NE(view.countDowns.rend(), first) << "the second update measures its own times";
}

TEST_F(EngineTest, EstimatesAreReplacedByMeasuredTimes) {
    TCkUpdateEngine& e = Connect();
    EXPECT_EQ(450000u, e.FTimeUpdateMs);
    e.Show();
    EXPECT_EQ(QStringLiteral("Remaining time: 07:52"), view.countDowns.back().label);
    EXPECT_EQ(472, view.countDowns.back().maximumSeconds);
    EXPECT_EQ(0, view.countDowns.back().positionSeconds);
}

class ExternalImageTest : public EngineTest {
protected:
    QString WriteFile(const QByteArray& bytes) {
        const QString path = dir.path() + "/image.bin";
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    static QByteArray Field(const char* text) {
        QByteArray b(text);
        b.resize(64, '\0');
        return b;
    }
    QTemporaryDir dir;
};

TEST_F(ExternalImageTest, ImageWithNothingAfterItsHeaderIsRefusedBeforeProgrammingMode) {
    UpdateOptions service;
    service.serviceMode = true;
    TCkUpdateEngine& e = Connect(kPortUsb, service);
    QByteArray image(0x60000, char(0xFF));
    image.replace(0xC000, 10, "App Loaded");
    ASSERT_TRUE(e.OpenBinary(WriteFile(Field("Chromatik V") + Field("512zz") + Field("today") + image)));
    e.Run();
    ASSERT_EQ(1u, view.errorBoxes.size());
    EXPECT_THAT(view.errorBoxes[0].toStdString(), HasSubstr("nothing after its header block"));
    EXPECT_TRUE(fake().calls.empty());
}

TEST_F(ExternalImageTest, IncompleteFileIsNeverProgrammed) {
    UpdateOptions service;
    service.serviceMode = true;
    TCkUpdateEngine& e = Connect(kPortUsb, service);
    QByteArray image(0x60000 - 1, char(0x11));
    EXPECT_FALSE(e.OpenBinary(WriteFile(Field("Chromatik V") + Field("512zz") + Field("today") + image)));
    EXPECT_THAT(view.messages, ::testing::Contains(QStringLiteral("Error: Missing data")));
    e.Run();
    EXPECT_THAT(view.errorBoxes, ElementsAre(QStringLiteral("Error: Missing data")));
    EXPECT_TRUE(fake().calls.empty());
}

TEST_F(ExternalImageTest, FileThatIsNoApplicationImageIsRefused) {
    UpdateOptions service;
    service.serviceMode = true;
    TCkUpdateEngine& e = Connect(kPortUsb, service);
    QByteArray junk(0x60000, 'x');
    ASSERT_TRUE(e.OpenBinary(WriteFile(Field("Chromatik V") + Field("512zz") + Field("today") + junk)));
    e.Run();
    ASSERT_EQ(1u, view.errorBoxes.size());
    EXPECT_THAT(view.errorBoxes[0].toStdString(), HasSubstr("no Chromatik® V application"));
    EXPECT_TRUE(fake().calls.empty());
}

TEST_F(ExternalImageTest, CompleteFileIsProgrammedWithItsOwnTexts) {
    UpdateOptions service;
    service.serviceMode = true;
    TCkUpdateEngine& e = Connect(kPortUsb, service);
    QByteArray image(0x60000, char(0xFF));
    image.replace(0xC000, 10, "App Loaded");
    image.replace(0xC010, 5, "512zz");
    image.replace(0x20000, 4, "\x01\x02\x03\x04");
    QString setting;
    ASSERT_TRUE(e.OpenBinary(WriteFile(Field("Chromatik V Lab") + Field("512zz") + Field("May 1") + image), &setting));
    EXPECT_FALSE(setting.isEmpty());
    EXPECT_TRUE(view.secondEnabled);
    e.Run();
    ASSERT_EQ(UpdateResult::Succeeded, e.LastResult());
    EXPECT_THAT(Erased(), ElementsAre(3, 4, 5));
    EXPECT_EQ(QStringLiteral("Chromatik V Lab"), QString::fromLatin1(fake().version.snName));
    EXPECT_EQ(QStringLiteral("512zz"), QString::fromLatin1(fake().version.snRelease));
}

}  // namespace
}  // namespace ckupdate::testing
