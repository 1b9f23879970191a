// Whole firmware updates of a virtual Chromatik V through the real library, over
// USB and over Bluetooth, with the update engine exactly as the program runs it;
// and the failure paths, by faults injected into the virtual instrument.
#include "update/binding/linked_functions.h"
#include "update/firmware/ck_update_engine.h"
#include "update/firmware/update_workflow.h"
#include "update/firmware/date_text.h"
#include "update/firmware/firmware_catalog.h"
#include "update/program_trace.h"
#include "update/device/device_connection.h"
#include "update/device/instrument_survey.h"

#include "sim/simulator.h"
#include "sim/structures_image.h"

#include "tests/update/connection_host.h"
#include "tests/update/fake_library.h"
#include "tests/update_e2e/small_image.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QFile>
#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

namespace ckupdate::testing {
namespace {

using tola::sim::EventKind;
using tola::sim::JournalEntry;
using ::testing::ElementsAre;

using Host = ConnectionHost;

class UpdateEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        const std::string base = dir.path().toStdString();
        ::setenv("TOLA_USB_DIR", (base + "/usb").c_str(), 1);
        ::setenv("TOLA_BT_DIR", (base + "/bt").c_str(), 1);
        Firmwares().SelectFirmware(0);
        SetProgramTraceSink([this](const std::string& l) { traces.push_back(l); });
    }
    void TearDown() override {
        SetProgramTraceSink({});
        connection.CloseDev();
        sim.reset();
    }

    tola::sim::Instrument& Start(int kind, std::vector<std::string> faults = {}) {
        tola::sim::InstrumentConfig c;
        c.kind = kind;
        c.firmware = "511vLE";
        c.faults = std::move(faults);
        sim = std::make_unique<tola::sim::Simulator>(dir.path().toStdString() + "/usb", dir.path().toStdString() + "/bt");
        tola::sim::Instrument& i = sim->add(c);
        sim->start();
        EXPECT_TRUE(i.wait_until_present(true, std::chrono::seconds(2)));
        return i;
    }

    void Connect(std::uint32_t port) {
        const CommApi api(&LinkedCommFunctions());
        if (port == kPortBluetooth) {
            BT_DEVICES found{};
            ASSERT_TRUE(api.CK_comm_BtDiscovery(&found));
            ASSERT_GE(found.iCount, 1);
            api.CK_comm_BtSetDevice(&found.qBtDevice[0]);
        }
        connection.PortData().iPort = port;
        std::int32_t r = 2;
        for (int i = 0; i < 100 && r != 1; ++i) {
            r = connection.OpenDev();
            if (BootLoaderOnly(connection.PortData())) return;  // an interrupted update's instrument
            if (r != 1) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        ASSERT_EQ(1, r) << connection.PortData().ssStatus;
    }

    TCkUpdateEngine& Engine(bool verify = true, bool service = false) {
        engine = std::make_unique<TCkUpdateEngine>(CommApi(&LinkedCommFunctions()), host, view);
        UpdateOptions o;
        o.verifyBeforeHeader = verify;
        o.serviceMode = service;
        o.backupFolder = dir.path() + "/backups";
        // These cases count the programming's own messages and blocks; the copy
        // of the replaced firmware is proven in rollback_test and the fault matrix.
        o.firmwareBackupUsb = false;
        engine->SetOptions(o);
        engine->SetDeviceInfo(connection.DevInfo());
        return *engine;
    }

    // Reads a structure from the instrument (after the update, with a new connection).
    template <typename Record>
    Record Read(int id) {
        Record r{};
        char message[501] = {};
        EXPECT_TRUE(CommApi(&LinkedCommFunctions()).CKPTransfer_local_structure(&connection.PortData(), &r, id, sizeof r,
                                                                    TOLA_DIRECTION_UPLOAD, message))
            << message;
        return r;
    }

    // A new connection to the instrument the update left running.
    void Reconnect(tola::sim::Instrument& i, std::uint32_t port) {
        connection.CloseDev();
        EXPECT_TRUE(i.journal().wait_for(EventKind::Restart, 1, std::chrono::seconds(5)));
        Connect(port);
    }

    static int Count(const std::vector<JournalEntry>& entries, std::uint32_t code) {
        return static_cast<int>(std::count_if(entries.begin(), entries.end(), [&](const JournalEntry& e) { return e.code == code; }));
    }

    // The programming order the journal shows: every sector from 3 to the last
    // erased once, in order, before its first write; the header block last; no flag.
    static void ExpectSafeProgrammingOrder(const tola::sim::Instrument& i, const std::vector<std::uint8_t>& image,
                                           std::uint32_t last_sector) {
        std::vector<std::uint32_t> erased;
        std::uint32_t erased_end = 0xC000;
        const std::uint32_t ends[] = {0x4000, 0x8000, 0xC000, 0x10000, 0x20000, 0x40000, 0x60000, 0x80000, 0xA0000, 0xC0000};
        std::vector<JournalEntry> writes;
        for (const JournalEntry& e : i.journal().entries()) {
            if (e.kind == EventKind::Restart) break;  // the first session only
            if (e.kind == EventKind::Erase) {
                erased.push_back(e.value);
                erased_end = ends[e.value];
            }
            if (e.kind != EventKind::FlashWrite) continue;
            writes.push_back(e);
            const std::uint32_t offset = e.address - 0x08000000;
            EXPECT_LE(offset + e.length, erased_end) << std::hex << offset;
        }
        std::vector<std::uint32_t> expected;
        for (std::uint32_t s = 3; s <= last_sector; ++s) expected.push_back(s);
        EXPECT_EQ(expected, erased);
        ASSERT_FALSE(writes.empty());
        EXPECT_EQ(0x0800C000u, writes.back().address);
        // Blank blocks are never sent: every write carries image data.
        for (const JournalEntry& w : writes) {
            const auto first = image.begin() + (w.address - 0x08000000);
            const bool blank = std::all_of(first, first + w.length, [](std::uint8_t b) { return b == 0xFF; });
            const bool in_written_block = blank && w.length < 128;  // the blank half of a non-blank block
            EXPECT_TRUE(!blank || in_written_block) << std::hex << w.address;
        }
        EXPECT_FALSE(i.journal().flagged(tola::sim::Flag::BootAreaWrite));
        EXPECT_FALSE(i.journal().flagged(tola::sim::Flag::HeaderBeforeImage));
        EXPECT_FALSE(i.journal().flagged(tola::sim::Flag::UnerasedFlashWrite));
    }

    QTemporaryDir dir;
    std::unique_ptr<tola::sim::Simulator> sim;
    TDeviceConnection connection{CommApi(&LinkedCommFunctions())};
    Host host{connection};
    RecordingView view;
    std::unique_ptr<TCkUpdateEngine> engine;
    std::vector<std::string> traces;
};

TEST_F(UpdateEndToEnd, WholeUpdateOverUsb) {
    // Sector 5 erases only at the third attempt.
    tola::sim::Instrument& i = Start(4, {"refuse-erase=5:2"});
    const auto boot_before = *i.peek(0x08000000, 0xC000);
    Connect(kPortUsb);
    ASSERT_EQ(3u, connection.DevInfo().CpuType);
    TCkUpdateEngine& e = Engine();
    e.Run();
    ASSERT_EQ(UpdateResult::Succeeded, e.LastResult()) << view.messages.size();
    EXPECT_THAT(view.results, ElementsAre(true));
    EXPECT_EQ("512bLE", i.firmware());

    const auto& image = Firmwares().Selected().qbyCK_default;
    EXPECT_EQ(boot_before, *i.peek(0x08000000, 0xC000)) << "boot area untouched";
    const auto flash = *i.peek(0x0800C000, static_cast<std::uint32_t>(image.size()) - 0xC000);
    EXPECT_TRUE(std::equal(flash.begin(), flash.end(), image.begin() + 0xC000));
    ExpectSafeProgrammingOrder(i, image, 8);

    // Retries of sector 5: two pauses, one trace line.
    EXPECT_EQ(1, std::count_if(traces.begin(), traces.end(), [](const std::string& l) {
        return l.find("PageErase: Page=5, result=TRUE") != std::string::npos;
    }));
    const auto commands = i.journal().entries(EventKind::ControllerCommand);
    EXPECT_EQ(1, Count(commands, 11));
    EXPECT_EQ(1, Count(commands, 10)) << "after programming only: the instrument came back with the new firmware";
    const auto actions = i.journal().entries(EventKind::HostAction);
    EXPECT_TRUE(std::any_of(actions.begin(), actions.end(), [](const JournalEntry& a) { return a.text == "settings stored"; }));

    // What the instrument keeps: the backup, brought up to date for the new firmware.
    Reconnect(i, kPortUsb);
    const auto settings = Read<CKNG_SETTINGS>(CKPSTRUCT_SETTINGS);
    EXPECT_EQ(0, std::memcmp(&settings, &e.Backup().CKNG_settings, sizeof settings));
    EXPECT_EQ(0.511f, settings.qfRef_slope[0]);
    EXPECT_EQ(120, settings.byTftBackLight);
    const auto version = Read<COMM_VERSION>(CKPSTRUCT_COMMVERSION);
    EXPECT_STREQ("512bLE", version.snRelease);
    EXPECT_STREQ("Chromatik\xAE V", version.snName);
    EXPECT_EQ(DateText(QDate::currentDate()).toLatin1(), QByteArray(version.snInstall_date));
    EXPECT_STREQ(e.Backup().COMM_Version.snSerial_number, version.snSerial_number);
}

TEST_F(UpdateEndToEnd, UnreadableSettingsNeverEnterProgrammingMode) {
    tola::sim::Instrument& i = Start(4);
    Connect(kPortUsb);
    TCkUpdateEngine& e = Engine();
    i.inject("refuse=0x222402:100000");
    e.Run();
    EXPECT_EQ(StepState::Failed, view.last(UpdateStep::ReadSetup));
    EXPECT_EQ(0u, i.journal().count(EventKind::ControllerCommand));
    EXPECT_EQ("511vLE", i.firmware());
}

TEST_F(UpdateEndToEnd, RefusedProgrammingModeLeavesTheInstrumentAlone) {
    tola::sim::Instrument& i = Start(4, {"refuse-command=11"});
    Connect(kPortUsb);
    Engine().Run();
    EXPECT_EQ(StepState::Failed, view.last(UpdateStep::Program));
    const auto commands = i.journal().entries(EventKind::ControllerCommand);
    EXPECT_EQ(1, Count(commands, 11));
    EXPECT_EQ(0, Count(commands, 10));
    EXPECT_EQ(0u, i.journal().count(EventKind::Erase));
    EXPECT_FALSE(i.in_update_mode());
}

TEST_F(UpdateEndToEnd, BlockThatNeverWritesThenASecondUpdateSucceeds) {
    tola::sim::Instrument& i = Start(4, {"refuse-write=0x0800C040:0"});
    const auto boot_before = *i.peek(0x08000000, 0xC000);
    Connect(kPortUsb);
    TCkUpdateEngine& e = Engine();
    e.Run();
    EXPECT_THAT(view.messages, ElementsAre(QStringLiteral("Error: Programming page 3, address 0x0800C040, lenth 0x80"),
                                           QStringLiteral("Error: Update canceled"), ::testing::_));
    const auto writes = i.journal().entries(EventKind::FlashWrite);
    EXPECT_TRUE(std::none_of(writes.begin(), writes.end(), [](const JournalEntry& w) { return w.address == 0x0800C000; }));
    EXPECT_EQ(1, Count(i.journal().entries(EventKind::ControllerCommand), 10));

    // The header block is erased: the boot loader keeps the instrument, and a
    // second update brings it back.
    i.clear_faults();
    connection.CloseDev();
    ASSERT_TRUE(i.journal().wait_for(EventKind::Restart, 1, std::chrono::seconds(5)));
    std::this_thread::sleep_for(std::chrono::milliseconds(1700));
    Connect(kPortUsb);
    view = RecordingView{};
    TCkUpdateEngine& again = Engine(false);
    UpdateWorkflow flow(again, host, view);
    ASSERT_TRUE(flow.Run(WorkflowRequest{})) << flow.LastMessage().toStdString();
    EXPECT_TRUE(flow.Resumed()) << "the interrupted update is known";
    EXPECT_EQ(UpdateResult::Succeeded, again.LastResult());
    EXPECT_EQ("512bLE", i.firmware());
    EXPECT_EQ(boot_before, *i.peek(0x08000000, 0xC000));
}

// A view that pulls the instrument's plug once the programming has gone some way.
struct UnpluggingView final : UpdateView {
    RecordingView& inner;
    tola::sim::Instrument& instrument;
    int blocks = 0;
    UnpluggingView(RecordingView& v, tola::sim::Instrument& i) : inner(v), instrument(i) {}
    void SetStep(UpdateStep s, const QString& t, StepState st) override { inner.SetStep(s, t, st); }
    void SetCountDown(const CountDown& c) override {
        if (inner.last(UpdateStep::Program) == StepState::Busy && ++blocks == 600) instrument.unplug();
        inner.SetCountDown(c);
    }
    void SetVersionLines(const QString& a, const QString& b) override { inner.SetVersionLines(a, b); }
    void ClearMessages() override { inner.ClearMessages(); }
    void AddMessage(const QString& l) override { inner.AddMessage(l); }
    void SetStartButtons(bool a, bool b) override { inner.SetStartButtons(a, b); }
    void SetCancelEnabled(bool e) override { inner.SetCancelEnabled(e); }
    void SetButtonsLocked(bool l) override { inner.SetButtonsLocked(l); }
    bool AskYesAbort(const QString& t) override { return inner.AskYesAbort(t); }
    void ShowErrorBox(const QString& t) override { inner.ShowErrorBox(t); }
    void ShowMessageBox(const QString& t) override { inner.ShowMessageBox(t); }
    void ShowResultPanel(bool s) override { inner.ShowResultPanel(s); }
    void HideResultPanel() override {}
};

TEST_F(UpdateEndToEnd, InstrumentThatVanishesWhileProgrammingIsUpdatedAgainLater) {
    tola::sim::Instrument& i = Start(4);
    const auto boot_before = *i.peek(0x08000000, 0xC000);
    Connect(kPortUsb);
    UnpluggingView unplugging(view, i);
    TCkUpdateEngine first(CommApi(&LinkedCommFunctions()), host, unplugging);
    UpdateOptions options;
    options.backupFolder = dir.path() + "/backups";
    options.firmwareBackupUsb = false;  // the unplug counts programming blocks
    first.SetOptions(options);
    first.SetDeviceInfo(connection.DevInfo());
    first.Run();
    EXPECT_EQ(StepState::Failed, view.last(UpdateStep::Program));
    EXPECT_EQ(UpdateResult::Failed, first.LastResult());
    ASSERT_FALSE(view.messages.empty());
    // The plug goes between two blocks: the next flash command to fail is
    // either a block's programming or the erase of the next sector.
    const QString& first_line = view.messages.front();
    EXPECT_TRUE(first_line.startsWith(QStringLiteral("Error: Programming page ")) ||
                first_line.startsWith(QStringLiteral("Error: Deleting page ")))
        << first_line.toStdString();
    const auto writes = i.journal().entries(EventKind::FlashWrite);
    EXPECT_TRUE(std::none_of(writes.begin(), writes.end(), [](const JournalEntry& w) { return w.address == 0x0800C000; }));
    EXPECT_TRUE(i.in_update_mode()) << "the boot loader keeps the half-programmed instrument";

    i.replug();
    connection.CloseDev();
    ASSERT_TRUE(i.wait_until_present(true, std::chrono::seconds(2)));
    Connect(kPortUsb);
    view = RecordingView{};
    TCkUpdateEngine& again = Engine(true);
    UpdateWorkflow flow(again, host, view);
    ASSERT_TRUE(flow.Run(WorkflowRequest{})) << flow.LastMessage().toStdString();
    EXPECT_TRUE(flow.Resumed()) << "the interrupted update is known";
    EXPECT_EQ(UpdateResult::Succeeded, again.LastResult());
    EXPECT_EQ("512bLE", i.firmware());
    EXPECT_EQ(boot_before, *i.peek(0x08000000, 0xC000));
}

TEST_F(UpdateEndToEnd, SilentAfterRestartLeavesStepThreeBusyAndTheSettingsPendingUntilItIsBack) {
    tola::sim::Instrument& i = Start(4, {"restart-silence=9000"});
    Connect(kPortUsb);
    TCkUpdateEngine& e = Engine(false);
    UpdateOptions o = e.Options();
    o.restartDeadlineMs = 4000;  // the instrument takes longer than it may
    e.SetOptions(o);
    e.Run();
    EXPECT_EQ(StepState::Busy, view.last(UpdateStep::WaitReset));
    EXPECT_EQ(StepState::Off, view.last(UpdateStep::WriteSetup));
    EXPECT_EQ(UpdateResult::NotBack, e.LastResult());
    const auto actions = i.journal().entries(EventKind::HostAction);
    EXPECT_TRUE(std::none_of(actions.begin(), actions.end(), [](const JournalEntry& a) { return a.text == "settings stored"; }));
    EXPECT_THAT(e.LastMessage().toStdString(), ::testing::HasSubstr("has not come back after its restart"));

    // Once it is back, the pending settings go back to it.
    connection.CloseDev();
    ASSERT_TRUE(i.wait_until_present(true, std::chrono::seconds(15)));
    Connect(kPortUsb);
    TCkUpdateEngine& later = Engine(false);
    UpdateWorkflow flow(later, host, view);
    const auto plan = flow.PlanResume(WorkflowRequest{});
    ASSERT_EQ(ResumePlan::Kind::Restore, plan.kind);
    ASSERT_TRUE(flow.Resume(plan, WorkflowRequest{})) << flow.LastMessage().toStdString();
    const auto settings = Read<CKNG_SETTINGS>(CKPSTRUCT_SETTINGS);
    EXPECT_EQ(0.511f, settings.qfRef_slope[0]) << "the backup, brought up to date for the new firmware";
    EXPECT_EQ(ResumePlan::Kind::None, flow.PlanResume(WorkflowRequest{}).kind) << "nothing pending any more";
}

TEST_F(UpdateEndToEnd, RefusedSettingsWriteIsStepFourRed) {
    tola::sim::Instrument& i = Start(4);
    const auto version = i.layout().find(tola::sim::tw::kVersion);
    ASSERT_TRUE(version.has_value());
    i.inject("refuse-write=" + std::to_string(version->address) + ":0");
    Connect(kPortUsb);
    TCkUpdateEngine& e = Engine(false);
    e.Run();
    EXPECT_EQ(StepState::Failed, view.last(UpdateStep::WriteSetup));
    ASSERT_EQ(1u, view.messageBoxes.size());
    EXPECT_TRUE(view.messageBoxes[0].startsWith(QStringLiteral("Error writing version.\n\r")));
    EXPECT_TRUE(view.results.empty());
    EXPECT_EQ("512bLE", i.firmware());
}

TEST_F(UpdateEndToEnd, VerifyDifferenceKeepsTheHeaderUnwritten) {
    tola::sim::Instrument& i = Start(4, {"weak-flash=0x08020010"});
    Connect(kPortUsb);
    TCkUpdateEngine& e = Engine(true);
    e.Run();
    ASSERT_FALSE(view.messages.empty());
    EXPECT_EQ(QStringLiteral("Error: Verifying page 5, address 0x08020010"), view.messages.front());
    const auto writes = i.journal().entries(EventKind::FlashWrite);
    EXPECT_TRUE(std::none_of(writes.begin(), writes.end(), [](const JournalEntry& w) { return w.address == 0x0800C000; }));
    EXPECT_EQ(StepState::Failed, view.last(UpdateStep::Program));
}

TEST_F(UpdateEndToEnd, WholeUpdateOverBluetoothWithASmallImage) {
    // A small external image keeps the Bluetooth run short: data in sectors 3 and 4.
    const QString file = WriteSmallImage(dir.path(), "512tst");
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray image = f.readAll().mid(3 * 64);

    tola::sim::Instrument& i = Start(10);
    const auto boot_before = *i.peek(0x08000000, 0xC000);
    Connect(kPortBluetooth);
    TCkUpdateEngine& e = Engine(true);
    ASSERT_TRUE(e.OpenBinary(file));
    e.Run();
    ASSERT_EQ(UpdateResult::Succeeded, e.LastResult()) << (view.messages.empty() ? "" : view.messages.back().toStdString());
    EXPECT_EQ("512tst", i.firmware());
    EXPECT_EQ(boot_before, *i.peek(0x08000000, 0xC000));
    std::vector<std::uint8_t> bytes(image.begin(), image.end());
    ExpectSafeProgrammingOrder(i, bytes, 4);
    const auto writes = i.journal().entries(EventKind::FlashWrite);
    EXPECT_EQ(500u, writes.front().length);
    EXPECT_EQ(1, Count(i.journal().entries(EventKind::ControllerCommand), 10));

    Reconnect(i, kPortBluetooth);
    const auto settings = Read<CKNG_SETTINGS>(CKPSTRUCT_SETTINGS);
    EXPECT_EQ(0, std::memcmp(&settings, &e.Backup().CKNG_settings, sizeof settings));
    EXPECT_STREQ("512tst", Read<COMM_VERSION>(CKPSTRUCT_COMMVERSION).snRelease);
}

// What a rerun does with a backup an earlier update left pending, as "tolactl
// update --yes" and "Run" both do it through the workflow.
enum class Left {
    StaleKept,         // stopped before erasing; the settings were changed since; --yes
    StaleRestored,     // the same, the technician chooses the backup
    BootLoaderOfTwo,   // in its boot loader, two pending updates could be its own
    BootLoaderDeclined,  // in its boot loader, the technician says it is not that one
    Damaged,           // the pending file fails its check
};

struct PendingCase {
    const char* name;
    Left left;
    const char* fault;  // what stops the first update
};

void PrintTo(const PendingCase& c, std::ostream* os) { *os << c.name; }

constexpr PendingCase kPendingCases[] = {
    {"StaleBackupKeepsTheNewerSettings", Left::StaleKept, "refuse-command=11"},
    {"StaleBackupWrittenWhenChosen", Left::StaleRestored, "refuse-command=11"},
    {"BootLoaderWithTwoCandidatesIsNotGuessed", Left::BootLoaderOfTwo, "refuse-write=0x0800C0C0:0"},
    {"BootLoaderNotClaimedGetsNothing", Left::BootLoaderDeclined, "refuse-write=0x0800C0C0:0"},
    {"DamagedBackupIsSetAsideNotOverwritten", Left::Damaged, "refuse-command=11"},
};

class PendingBackups : public UpdateEndToEnd, public ::testing::WithParamInterface<PendingCase> {};

TEST_P(PendingBackups, AreWrittenBackOnlyWhereTheyBelong) {
    const PendingCase& c = GetParam();
    tola::sim::Instrument& i = Start(4, {c.fault});
    Connect(kPortUsb);
    const QString image = WriteSmallImage(dir.path(), "512tst");
    TCkUpdateEngine& first = Engine(true);
    ASSERT_TRUE(first.OpenBinary(image));
    first.Run();
    ASSERT_NE(UpdateResult::Succeeded, first.LastResult());
    const QString folder = dir.path() + "/backups";
    const auto pending = PendingSettings(folder);
    ASSERT_EQ(1, pending.size());
    const StoredSettings own = pending.front();
    i.clear_faults();
    connection.CloseDev();
    std::this_thread::sleep_for(std::chrono::milliseconds(1700));  // the restart after the boot loader was left
    Connect(kPortUsb);

    CKNG_SETTINGS changed{};
    WorkflowRequest request;
    request.explicitImage = true;
    request.assumeYes = true;
    switch (c.left) {
        case Left::StaleKept:
        case Left::StaleRestored: {
            // The technician changed a setting after the update stopped.
            changed = Read<CKNG_SETTINGS>(CKPSTRUCT_SETTINGS);
            changed.dTimeout_standby += 60;
            char message[501] = {};
            ASSERT_TRUE(CommApi(&LinkedCommFunctions())
                            .CKPTransfer_local_structure(&connection.PortData(), &changed, CKPSTRUCT_SETTINGS,
                                                         sizeof changed, TOLA_DIRECTION_DOWNLOAD, message));
            request.restoreStale = c.left == Left::StaleRestored;
            break;
        }
        case Left::BootLoaderOfTwo: {
            ASSERT_TRUE(BootLoaderOnly(connection.PortData()));
            StoredSettings other = own;
            other.serial = QStringLiteral("H59999");
            QString error;
            ASSERT_TRUE(WriteStoredSettings(StoredSettingsPath(folder, other.serial), other, &error)) << error.toStdString();
            break;
        }
        case Left::BootLoaderDeclined:
            ASSERT_TRUE(BootLoaderOnly(connection.PortData()));
            view.answerYes = false;
            request.assumeYes = false;
            break;
        case Left::Damaged: {
            QFile f(own.path);
            ASSERT_TRUE(f.open(QIODevice::ReadWrite));
            f.resize(f.size() / 2);
            break;
        }
    }
    const auto erases_before = i.journal().count(EventKind::Erase);
    TCkUpdateEngine& again = Engine(true);
    ASSERT_TRUE(again.OpenBinary(image));
    UpdateWorkflow flow(again, host, view);
    const bool done = flow.Run(request);

    switch (c.left) {
        case Left::StaleKept:
        case Left::StaleRestored: {
            ASSERT_TRUE(done) << flow.LastMessage().toStdString();
            EXPECT_EQ("512tst", i.firmware());
            Reconnect(i, kPortUsb);
            const auto now = Read<CKNG_SETTINGS>(CKPSTRUCT_SETTINGS);
            EXPECT_EQ(c.left == Left::StaleKept ? changed.dTimeout_standby : own.settings.dTimeout_standby,
                      now.dTimeout_standby);
            EXPECT_EQ(c.left == Left::StaleKept, QDir(folder + "/retired").exists()) << "the stale backup is kept, retired";
            break;
        }
        case Left::BootLoaderOfTwo: {
            EXPECT_FALSE(done);
            EXPECT_THAT(flow.LastMessage().toStdString(), ::testing::HasSubstr("--settings-file"));
            EXPECT_EQ(erases_before, i.journal().count(EventKind::Erase)) << "nothing was sent to it";
            request.settingsFile = own.path;
            TCkUpdateEngine& chosen = Engine(true);
            UpdateWorkflow named(chosen, host, view);
            ASSERT_TRUE(named.Run(request)) << named.LastMessage().toStdString();
            EXPECT_EQ("512tst", i.firmware());
            EXPECT_EQ(1, PendingSettings(folder).size()) << "the other instrument's backup stays pending";
            break;
        }
        case Left::BootLoaderDeclined:
            EXPECT_FALSE(done);
            EXPECT_EQ(1u, view.questions.size());
            EXPECT_EQ(erases_before, i.journal().count(EventKind::Erase)) << "nothing was sent to it";
            break;
        case Left::Damaged: {
            EXPECT_FALSE(done);
            EXPECT_THAT(again.LastRecord().message.toStdString(), ::testing::HasSubstr("damaged"));
            const QStringList aside = QDir(folder).entryList({QStringLiteral("*.damaged-*")});
            ASSERT_EQ(1, aside.size()) << "set aside, not overwritten";
            EXPECT_FALSE(QFile::exists(own.path));
            EXPECT_EQ(erases_before, i.journal().count(EventKind::Erase));
            break;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Update, PendingBackups, ::testing::ValuesIn(kPendingCases),
                         [](const ::testing::TestParamInfo<PendingCase>& p) { return std::string(p.param.name); });

// A bench on every link: each place is opened alone and identified, an
// instrument in its boot loader is named as such, the socket of a running
// update is never opened, and no instrument sees anything but queries: no write
// to its flash or settings, no command that acts, no restart.
TEST_F(UpdateEndToEnd, SurveyNamesEveryInstrumentAndDisturbsNone) {
    sim = std::make_unique<tola::sim::Simulator>(dir.path().toStdString() + "/usb", dir.path().toStdString() + "/bt");
    const std::vector<std::pair<int, std::string>> bench{
        {4, "H51234"}, {4, "H51235"}, {4, "H51236"}, {8, "H50008"}, {10, "H50010"}};
    for (const auto& [kind, serial] : bench) {
        tola::sim::InstrumentConfig c;
        c.kind = kind;
        c.serial = serial;
        c.firmware = "511vLE";
        sim->add(c);
    }
    sim->start();
    for (std::size_t n = 0; n < bench.size(); ++n) ASSERT_TRUE(sim->instrument(n).wait_until_present(true, std::chrono::seconds(2)));
    ::setenv("TOLA_COM3", sim->instrument(3).serial_path().c_str(), 1);
    // The second one was left in its boot loader by an update that did not end.
    connection.SetSearchLimit(SearchLimit{QString(), QStringLiteral("dev1")});
    Connect(kPortUsb);
    ASSERT_TRUE(CommApi(&LinkedCommFunctions()).CKPRenesas_command(11, 0));
    connection.CloseDev();
    connection.SetSearchLimit(SearchLimit{});
    for (std::size_t n = 0; n < bench.size(); ++n) sim->instrument(n).journal().clear();

    SurveyPlaces places;
    places.usbSockets = UsbChannelSockets();
    places.comPorts = {3, 4};  // nothing behind COM4
    places.btAddresses = {QString::fromStdString(sim->instrument(4).bt_address())};
    places.usbBusy = true;
    places.busyUsbSocket = QStringLiteral("dev2");
    places.busyText = QStringLiteral("process 1 (tolactl), instrument H51236 over usb dev2");
    QStringList listed;
    for (const SurveyedInstrument& s : SurveyInstruments(connection, places))
        listed << QStringLiteral("%1 %2 %3 %4%5%6").arg(s.link, s.where, s.serial, s.firmware,
                                                        s.bootLoader ? QStringLiteral(" boot") : QString(),
                                                        s.busy ? QStringLiteral(" busy") : QString());
    EXPECT_EQ(QStringList({"usb dev0 H51234 511vLE", "usb dev1   boot", "usb dev2   busy", "serial com3 H50008 511vLE",
                           "bluetooth " + places.btAddresses.front() + " H50010 511vLE"}),
              listed);
    for (std::size_t n = 0; n < bench.size(); ++n) {
        const auto& journal = sim->instrument(n).journal();
        std::ostringstream all;
        journal.dump(all);
        for (EventKind k : {EventKind::FlashWrite, EventKind::Erase, EventKind::ControllerCommand, EventKind::Restart,
                            EventKind::HostAction})
            EXPECT_EQ(0u, journal.count(k)) << bench[n].second << ":\n" << all.str();
        // Host commands are queries (the device type, the link's own check):
        // their blocks are the only memory written.
        for (const JournalEntry& e : journal.entries(EventKind::HostCommand)) EXPECT_EQ(0x80000000u, e.value) << all.str();
        EXPECT_EQ(journal.count(EventKind::HostCommand), journal.count(EventKind::MemoryWrite)) << all.str();
    }
    EXPECT_EQ(0u, sim->instrument(2).journal().count(EventKind::Request)) << "the busy socket was opened";
    EXPECT_FALSE(connection.Limit().Active()) << "the connection's limit is given back";
    EXPECT_EQ(QStringList{}, DuplicateSerials({}));
}

}  // namespace
}  // namespace ckupdate::testing
