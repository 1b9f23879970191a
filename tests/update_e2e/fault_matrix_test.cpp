// The fault matrix of a firmware update: a fault of each kind (refusal, silence,
// corrupted reply, unplug, a killed instrument, a lost acknowledgement, a weak
// flash cell, a slow restart) at each phase from the settings read to the
// settings store, over USB, and a smaller set over Bluetooth; some with a second
// Chromatik V on the bench (already on the new release, or on the old one) that
// a search meets while the first restarts.  Whatever happens, the update never claims a success
// it has not proven, never writes the header block after an earlier failure,
// never writes anything to the other instrument, and after at most one more run
// the instrument runs the new firmware with its own settings.
#include "update/binding/linked_functions.h"
#include "update/device/device_connection.h"
#include "update/firmware/ck_update_engine.h"
#include "update/firmware/firmware_catalog.h"
#include "update/firmware/settings_backup.h"
#include "update/firmware/update_workflow.h"

#include "sim/simulator.h"

#include "tests/update/connection_host.h"
#include "tests/update/fake_library.h"
#include "tests/update_e2e/small_image.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QFile>
#include <QTemporaryDir>
#include <QTime>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

namespace ckupdate::testing {
namespace {

using tola::sim::EventKind;
using namespace std::chrono_literals;

// When a fault strikes.
enum class When {
    Start,          // configured before the update starts (boot-loader faults hit their own operation)
    AfterErase,     // right after the first sector erase
    AfterWrites,    // after a few blocks are written
    AfterRestart,   // once the instrument has restarted with the new firmware
    AtSettingsWrite,  // at the first write after the restart (the settings going back)
    AtStore,        // once the settings were stored with state 53
};

enum class Outcome { Fails, Copes, Either };

// A second Chromatik V on the same USB bench.  The instrument being updated is
// found first; while it restarts its socket is gone, and a search meets the other.
enum class Bystander { None, OnNewRelease, OnOldRelease };

struct Case {
    const char* name;
    int kind;  // 4 USB, 10 Bluetooth
    When when;
    const char* fault;  // fault text, or "kill" (the instrument's process dies and starts again)
    Outcome outcome;    // whether the update itself copes (success without a second run)
    bool beforeHeader;  // strikes before the header block is due: the header is never written
    std::uint32_t restartDeadlineMs = 0;
    Bystander bystander = Bystander::None;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

constexpr Case kCases[] = {
    // Over USB.
    {"ReadRefused", 4, When::Start, "refuse=0x222402:100000", Outcome::Fails, true},
    {"ReadCorrupted", 4, When::Start, "corrupt", Outcome::Copes, true},
    {"ReadSilent", 4, When::Start, "silent=3:300", Outcome::Fails, true},
    {"EnterRefused", 4, When::Start, "refuse-command=11", Outcome::Fails, true},
    {"EnterAcknowledgementLost", 4, When::Start, "lose-ack-command=11", Outcome::Fails, true},
    {"EraseRefused", 4, When::Start, "refuse-erase=4:3", Outcome::Fails, true},
    {"EraseUnplugged", 4, When::AfterErase, "unplug", Outcome::Fails, true},
    {"EraseKilled", 4, When::AfterErase, "kill", Outcome::Fails, true},
    {"WriteRefused", 4, When::Start, "refuse-write=0x0800C0C0:3", Outcome::Fails, true},
    {"WriteSilent", 4, When::AfterWrites, "silent=1:300", Outcome::Fails, true},
    {"WriteCorrupted", 4, When::AfterWrites, "corrupt", Outcome::Either, true},
    {"WriteUnplugged", 4, When::AfterWrites, "unplug", Outcome::Fails, true},
    {"WriteKilled", 4, When::AfterWrites, "kill", Outcome::Fails, true},
    {"WriteAcknowledgementLost", 4, When::Start, "lose-ack-write=0x0800C0C0", Outcome::Copes, false},
    {"WeakCellInTheImage", 4, When::Start, "weak-flash=0x0800C101", Outcome::Fails, true},
    {"HeaderRefused", 4, When::Start, "refuse-write=0x0800C000:3", Outcome::Fails, true},
    {"HeaderAcknowledgementLost", 4, When::Start, "lose-ack-write=0x0800C000", Outcome::Copes, false},
    {"WeakCellInTheHeader", 4, When::Start, "weak-flash=0x0800C005", Outcome::Fails, false},
    {"LeaveRefusedOnce", 4, When::Start, "refuse-command=10", Outcome::Copes, false},
    {"LeaveRefusedAlways", 4, When::Start, "refuse-command=10:100", Outcome::Fails, false},
    {"LeaveAcknowledgementLost", 4, When::Start, "lose-ack-command=10", Outcome::Copes, false},
    {"RestartTakesFiveSeconds", 4, When::Start, "restart-silence=5000", Outcome::Copes, false},
    {"RestartTooSlow", 4, When::Start, "restart-silence=9000", Outcome::Fails, false, 4000},
    {"KilledAfterRestart", 4, When::AfterRestart, "kill", Outcome::Fails, false},
    {"SettingsWriteUnplugged", 4, When::AtSettingsWrite, "unplug", Outcome::Fails, false},
    {"SettingsWriteSilent", 4, When::AtSettingsWrite, "silent=1:300", Outcome::Fails, false},
    {"SettingsWriteCorrupted", 4, When::AtSettingsWrite, "corrupt", Outcome::Either, false},
    {"SettingsWriteRefused", 4, When::AtSettingsWrite, "refuse=0x222405:100000", Outcome::Fails, false},
    {"KilledAfterStore", 4, When::AtStore, "kill", Outcome::Fails, false},
    // With a second instrument on the bench, which answers while this one restarts.
    {"SlowRestartBesideOneOnTheNewRelease", 4, When::Start, "restart-silence=5000", Outcome::Copes, false, 0,
     Bystander::OnNewRelease},
    {"TooSlowRestartBesideOneOnTheNewRelease", 4, When::Start, "restart-silence=9000", Outcome::Fails, false, 4000,
     Bystander::OnNewRelease},
    {"LeaveRefusedAlwaysBesideOneOnTheOldRelease", 4, When::Start, "refuse-command=10:100", Outcome::Fails, false, 0,
     Bystander::OnOldRelease},
    {"WriteKilledBesideOneOnTheNewRelease", 4, When::AfterWrites, "kill", Outcome::Fails, true, 0,
     Bystander::OnNewRelease},
    {"KilledAfterRestartBesideOneOnTheOldRelease", 4, When::AfterRestart, "kill", Outcome::Fails, false, 0,
     Bystander::OnOldRelease},
    // Over Bluetooth, with faults that leave the application reachable there.
    {"BtReadDropped", 10, When::Start, "drop-link", Outcome::Fails, true},
    {"BtEnterRefused", 10, When::Start, "refuse-command=11", Outcome::Fails, true},
    {"BtLeaveRefusedOnce", 10, When::Start, "refuse-command=10", Outcome::Copes, false},
    {"BtHeaderAcknowledgementLost", 10, When::Start, "lose-ack-write=0x0800C000", Outcome::Copes, false},
    {"BtRestartTooSlow", 10, When::Start, "restart-silence=9000", Outcome::Fails, false, 4000},
    {"BtSettingsWriteDropped", 10, When::AtSettingsWrite, "drop-link", Outcome::Fails, false},
};

constexpr const char* kRelease = "512tst";
constexpr const char* kSerial = "H51234";
constexpr const char* kBystanderSerial = "H51299";

class FaultMatrix : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        base = dir.path().toStdString();
        ::setenv("TOLA_USB_DIR", (base + "/usb").c_str(), 1);
        ::setenv("TOLA_BT_DIR", (base + "/bt").c_str(), 1);
        image = WriteSmallImage(dir.path(), kRelease);
    }
    void TearDown() override {
        if (watcher.joinable()) watcher.join();
        connection.CloseDev();
        std::lock_guard lock(sim_mutex);
        sim.reset();
    }

    tola::sim::Instrument& StartInstrument() {
        tola::sim::InstrumentConfig c;
        c.kind = GetParam().kind;
        c.firmware = "511vLE";
        c.serial = kSerial;
        c.persist = base + "/instrument";
        std::lock_guard lock(sim_mutex);
        sim = std::make_unique<tola::sim::Simulator>(base + "/usb", base + "/bt");
        if (GetParam().bystander != Bystander::None) {
            tola::sim::InstrumentConfig b;
            b.firmware = GetParam().bystander == Bystander::OnNewRelease ? kRelease : "511vLE";
            b.serial = kBystanderSerial;
            b.socket = "dev1";
            b.persist = base + "/bystander";
            c.socket = "dev0";
            bystander = &sim->add(b);
        }
        tola::sim::Instrument& i = sim->add(c);
        sim->start();
        EXPECT_TRUE(i.wait_until_present(true, 5s));
        return i;
    }

    // The other instrument's identity block and settings, as its memory holds them.
    std::vector<std::uint8_t> BystanderRecords() const {
        std::vector<std::uint8_t> bytes;
        for (const std::size_t word : {tola::sim::tw::kVersion, tola::sim::tw::kSettings}) {
            const auto p = bystander->layout().find(word);
            if (!p) continue;
            const auto b = bystander->peek(p->address, p->size);
            if (b) bytes.insert(bytes.end(), b->begin(), b->end());
        }
        return bytes;
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
            if (connection.OpenDev() == 1 || BootLoaderOnly(connection.PortData())) return true;
            std::this_thread::sleep_for(100ms);
        }
        return false;
    }

    std::unique_ptr<TCkUpdateEngine> MakeEngine(RecordingView& view) {
        auto e = std::make_unique<TCkUpdateEngine>(CommApi(&LinkedCommFunctions()), host, view);
        UpdateOptions o;
        o.verifyBeforeHeader = true;
        o.backupFolder = dir.path() + "/backups";
        o.historyFile = dir.path() + "/history.jsonl";
        o.restartDeadlineMs = GetParam().restartDeadlineMs;
        e->SetOptions(o);
        e->SetDeviceInfo(connection.DevInfo());
        return e;
    }

    template <typename Record>
    Record Read(int id) {
        Record r{};
        char message[501] = {};
        EXPECT_TRUE(CommApi(&LinkedCommFunctions()).CKPTransfer_local_structure(&connection.PortData(), &r, id, sizeof r,
                                                                                TOLA_DIRECTION_UPLOAD, message))
            << message;
        return r;
    }

    void Strike(tola::sim::Instrument& i) {
        if (std::string_view(GetParam().fault) == "kill") {
            std::lock_guard lock(sim_mutex);
            killed = true;
            sim.reset();
        } else {
            i.inject(GetParam().fault);
        }
    }

    // Strikes the fault when its moment comes: the settings going back are seen
    // by the view (step 4 turns busy), the other moments in the instrument's
    // journal, by a thread of its own.
    void Arm(tola::sim::Instrument& i, RecordingView& view) {
        const Case& c = GetParam();
        if (c.when == When::Start) {
            ASSERT_TRUE(i.inject(c.fault)) << c.fault;
            return;
        }
        if (c.when == When::AtSettingsWrite) {
            view.onStep = [this, &i](UpdateStep step, StepState state) {
                if (step == UpdateStep::WriteSetup && state == StepState::Busy && !struck.exchange(true)) Strike(i);
            };
            return;
        }
        watcher = std::thread([this, &i, c] {
            const auto& journal = i.journal();
            bool due = false;
            switch (c.when) {
                case When::AfterErase: due = journal.wait_for(EventKind::Erase, 1, 60s); break;
                case When::AfterWrites: due = journal.wait_for(EventKind::FlashWrite, 4, 60s); break;
                case When::AfterRestart: due = journal.wait_for(EventKind::Restart, 1, 60s); break;
                case When::AtStore: {
                    const auto deadline = std::chrono::steady_clock::now() + 60s;
                    while (!due && std::chrono::steady_clock::now() < deadline) {
                        const auto actions = journal.entries(EventKind::HostAction);
                        due = std::any_of(actions.begin(), actions.end(),
                                          [](const auto& a) { return a.text == "settings stored"; });
                        if (!due) std::this_thread::sleep_for(5ms);
                    }
                    break;
                }
                case When::Start:
                case When::AtSettingsWrite: break;
            }
            if (due) Strike(i);
        });
    }

    QTemporaryDir dir;
    std::string base;
    QString image;
    std::mutex sim_mutex;
    std::unique_ptr<tola::sim::Simulator> sim;
    tola::sim::Instrument* bystander = nullptr;
    std::thread watcher;
    std::atomic<bool> killed{false};
    std::atomic<bool> struck{false};
    TDeviceConnection connection{CommApi(&LinkedCommFunctions())};
    ConnectionHost host{connection};
};

TEST_P(FaultMatrix, NeverLosesTheSettingsNorClaimsAnUnprovenSuccess) {
    const Case& c = GetParam();
    tola::sim::Instrument* instrument = &StartInstrument();
    ASSERT_TRUE(Connect());
    // What the instrument must hold in the end: its own settings, brought up to
    // date for the new firmware as every update does.
    COMM_VERSION version = Read<COMM_VERSION>(CKPSTRUCT_COMMVERSION);
    CKNG_SETTINGS expected = Read<CKNG_SETTINGS>(CKPSTRUCT_SETTINGS);
    FillInVersionDate(version, expected, ReleaseTexts{"Chromatik V", kRelease, "May 2, 2024"}, QDate::currentDate(),
                      QTime::currentTime());

    const std::vector<std::uint8_t> bystander_before = bystander != nullptr ? BystanderRecords() : std::vector<std::uint8_t>{};
    RecordingView view;
    auto first = MakeEngine(view);
    ASSERT_TRUE(first->OpenBinary(image));
    Arm(*instrument, view);
    first->Run();
    if (watcher.joinable()) watcher.join();

    const bool succeeded = first->LastResult() == UpdateResult::Succeeded;
    if (c.outcome == Outcome::Copes) {
        EXPECT_TRUE(succeeded) << first->LastRecord().message.toStdString();
    } else if (c.outcome == Outcome::Fails) {
        ASSERT_FALSE(succeeded) << "a fault the update cannot cope with is never a success";
    }
    if (!succeeded) {
        EXPECT_FALSE(first->LastRecord().message.isEmpty()) << "the failure says what happened";
    }
    if (!killed) {
        EXPECT_TRUE(instrument->journal().entries(EventKind::Flag).empty()) << "no unsafe programming order";
        // The header block is written only after everything before it went well.
        const auto writes = instrument->journal().entries(EventKind::FlashWrite);
        if (c.beforeHeader && !succeeded) {
            EXPECT_TRUE(std::none_of(writes.begin(), writes.end(), [](const auto& w) { return w.address == 0x0800C000; }))
                << "header block written after an earlier failure";
        }
    }

    if (!succeeded) {
        // The technician fixes the cause (the fault is gone, the plug back in,
        // the instrument switched on again) and runs the update once more, as
        // "tolactl update --file F --yes" does.
        connection.CloseDev();
        if (killed) {
            instrument = &StartInstrument();
        } else {
            instrument->clear_faults();
            instrument->replug();
        }
        ASSERT_TRUE(instrument->wait_until_present(true, 20s));
        ASSERT_TRUE(Connect()) << connection.PortData().ssStatus;
        RecordingView again_view;
        auto again = MakeEngine(again_view);
        ASSERT_TRUE(again->OpenBinary(image));
        UpdateWorkflow flow(*again, host, again_view);
        WorkflowRequest request;
        request.explicitImage = true;
        request.assumeYes = true;
        ASSERT_TRUE(flow.Run(request)) << flow.LastMessage().toStdString() << " / "
                                       << again->LastRecord().message.toStdString();
    }

    // The new firmware runs with the instrument's own settings, and nothing is pending.
    connection.CloseDev();
    ASSERT_TRUE(Connect());
    EXPECT_EQ(kRelease, instrument->firmware());
    const CKNG_SETTINGS now = Read<CKNG_SETTINGS>(CKPSTRUCT_SETTINGS);
    EXPECT_EQ(0, std::memcmp(&now, &expected, sizeof now)) << "the settings are the instrument's own";
    EXPECT_STREQ(version.snSerial_number, Read<COMM_VERSION>(CKPSTRUCT_COMMVERSION).snSerial_number);
    EXPECT_TRUE(PendingSettings(dir.path() + "/backups").isEmpty());
    if (bystander != nullptr) {
        // The other instrument kept its firmware, its identity and its settings.
        EXPECT_EQ(GetParam().bystander == Bystander::OnNewRelease ? kRelease : "511vLE", bystander->firmware());
        EXPECT_EQ(bystander_before, BystanderRecords()) << "the other instrument's identity or settings changed";
        if (!killed) {
            EXPECT_EQ(0u, bystander->journal().count(EventKind::FlashWrite));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Update, FaultMatrix, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace ckupdate::testing
