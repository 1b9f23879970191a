// The update dialog as the user drives it: "Run" against a virtual Chromatik V
// on USB, the five traffic lights, the result panel, the message list and the
// boxes of the failure paths; closing while an update runs.
#include "tests/program/program_fixture.h"

#include <gmock/gmock.h>

#include "update/firmware/firmware_backup.h"
#include "update/firmware/firmware_catalog.h"
#include "update/firmware/settings_backup.h"
#include "update/firmware/stored_settings.h"
#include "update/bluetooth/bt_discover.h"

#include <QFrame>
#include <QLabel>
#include <QLayout>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QTextBlock>
#include <QTextLayout>

#include <algorithm>
#include <new>

namespace ckupdate::testing {
namespace {

// Storing the settings runs out of memory; every other state goes to the library.
std::int32_t StoreRunsOutOfMemory(std::int32_t state) {
    if (state == kStateStoreSettings) throw std::bad_alloc();
    return ScriptedLibraries::Real<decltype(&::bTOLA_comm_set_state)>("bTOLA_comm_set_state")(state);
}

class UpdateDialogTest : public ProgramTest {
protected:
    // The service mode keeps the Bluetooth search out of the way of USB.
    void LaunchWithUsb(std::vector<std::string> faults = {}, std::string firmware = "511vLE") {
        auto c = UsbChromatikV(std::move(faults));
        c.firmware = std::move(firmware);
        StartInstruments({c});
        Launch({QStringLiteral("-cFW_Select")});
        ASSERT_TRUE(WaitForUpdateDialog());
    }
    StepState Step(int tag) { return Update().StepStateOf(tag); }
    // The messages after the line that names the copy of the replaced firmware.
    QStringList LinesAfterTheCopy() {
        QStringList lines = Lines();
        EXPECT_FALSE(lines.isEmpty());
        if (lines.isEmpty()) return lines;
        EXPECT_TRUE(lines.front().startsWith(QStringLiteral("Firmware 511vLE saved in "))) << lines.front().toStdString();
        lines.removeFirst();
        return lines;
    }
    QString StepText(int tag) { return Update().lblTL(tag)->text(); }
    QColor PanelColour(QWidget* w) { return w->palette().color(QPalette::Window); }
    QStringList Lines() { return Update().Memo1()->toPlainText().split('\n', Qt::SkipEmptyParts); }
};

TEST_F(UpdateDialogTest, RunCompletesTheUpdateWithFiveGreenLights) {
    LaunchWithUsb();
    EXPECT_EQ(QStringLiteral("CKV V511vLE"), Update().lblUpdateVersion()->text());
    EXPECT_EQ(QStringLiteral("Update to V512bLE"), Update().lblUpdateVersion2()->text());
    for (int tag = 1; tag <= 5; ++tag) EXPECT_FALSE(Update().pnlTL(tag)->isVisible()) << tag;
    EXPECT_FALSE(Update().pnlMessage()->isVisible());

    QTest::mouseClick(Update().btnUpdateFW_CKV(), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([this] { return Step(2) == StepState::Busy; }, 10000));
    // While the update runs the buttons are locked and nothing closes.
    EXPECT_FALSE(Update().btnCancel()->isEnabled());
    EXPECT_FALSE(Update().btnUpdateFW_CKV()->isEnabled());
    EXPECT_EQ(QStringLiteral("Updating"), StepText(2));
    EXPECT_EQ(QColor(255, 255, 0), PanelColour(Update().pnlTL(2)));
    // Each refused close says why.
    Update().close();
    Main().close();
    QTest::keyClick(&Update(), Qt::Key_Escape);
    EXPECT_TRUE(Update().isVisible());
    EXPECT_TRUE(Main().isVisible());
    ASSERT_EQ(3u, boxes_.size());
    for (const BoxRequest& box : boxes_) {
        EXPECT_EQ(QStringLiteral("An update is running. Please wait until it has ended."), box.text);
        EXPECT_EQ(QMessageBox::Information, box.icon);
        EXPECT_EQ(QMessageBox::Ok, box.buttons);
    }
    boxes_.clear();
    ASSERT_TRUE(WaitUntil([this] { return !Update().UpdateRunning(); }, 60000));

    const QString done[] = {"Read setup completed", "Update completed", "Reset done", "Write setup completed",
                            "Update completed"};
    for (int tag = 1; tag <= 5; ++tag) {
        EXPECT_EQ(StepState::Done, Step(tag)) << tag;
        EXPECT_EQ(done[tag - 1], StepText(tag)) << tag;
        EXPECT_EQ(QColor(0, 255, 0), PanelColour(Update().pnlTL(tag))) << tag;
        EXPECT_TRUE(Update().Image(tag)->isVisible()) << tag;
    }
    ASSERT_TRUE(Update().pnlMessage()->isVisible());
    EXPECT_EQ(QStringLiteral("Update completed"), Update().lblMsg()->text());
    EXPECT_EQ(QStringLiteral("Ok"), Update().btnMessage()->text());
    EXPECT_EQ(QColor(0, 255, 0), PanelColour(Update().pnlMessage()));
    EXPECT_TRUE(Update().btnMessage()->isEnabled());
    // The text is centred in the whole panel, not in the room beside the button.
    Update().pnlMessage()->layout()->activate();
    EXPECT_NEAR(Update().pnlMessage()->rect().center().x(), Update().lblMsg()->geometry().center().x(), 1);
    EXPECT_EQ(Qt::AlignCenter, Update().lblMsg()->alignment());
    EXPECT_EQ(QStringLiteral("Remaining time: 00:00"), Update().lblRemainTime()->text());
    // The completed update keeps a full bar that stands still, not a busy animation.
    EXPECT_LT(0, Update().prgBarUpdate()->maximum());
    EXPECT_EQ(0, Update().prgBarUpdate()->minimum());
    EXPECT_EQ(Update().prgBarUpdate()->maximum(), Update().prgBarUpdate()->value());
    EXPECT_TRUE(errorBoxes_.empty());
    EXPECT_TRUE(boxes_.empty());
    EXPECT_EQ("512bLE", Instrument().firmware());

    // A long message wraps: nothing hides beyond the right edge.
    Update().AddMessage(QStringLiteral("Source file: ") + QString(60, QLatin1Char('d')) + QStringLiteral("/") +
                        QString(80, QLatin1Char('f')) + QStringLiteral(".bin"));
    QTest::qWait(0);
    const QTextBlock last = Update().Memo1()->document()->lastBlock();
    ASSERT_NE(nullptr, last.layout());
    EXPECT_LT(1, last.layout()->lineCount());
    EXPECT_EQ(0, Update().Memo1()->horizontalScrollBar()->maximum());

    // The panel's button closes the dialog with OK; the program closes again.
    QTest::mouseClick(Update().btnMessage(), Qt::LeftButton);
    EXPECT_FALSE(Update().isVisible());
    EXPECT_EQ(QDialog::Accepted, Update().result());
}

TEST_F(UpdateDialogTest, RefusedProgrammingModeIsStepTwoRed) {
    LaunchWithUsb({"refuse-command=11"});
    ASSERT_TRUE(RunUpdate());
    EXPECT_EQ(StepState::Done, Step(1));
    EXPECT_EQ(StepState::Failed, Step(2));
    EXPECT_EQ(QStringLiteral("Update error"), StepText(2));
    EXPECT_EQ(QColor(255, 0, 0), PanelColour(Update().pnlTL(2)));
    EXPECT_FALSE(Update().pnlTL(3)->isVisible());
    EXPECT_FALSE(Update().pnlMessage()->isVisible());
    EXPECT_TRUE(Update().btnCancel()->isEnabled());
    EXPECT_FALSE(Instrument().in_update_mode());
    EXPECT_EQ("511vLE", Instrument().firmware());
}

// The program reads the flash back before the header block unless told not to:
// a weak cell never ends in "Update completed".
TEST_F(UpdateDialogTest, WeakFlashCellIsFoundWithoutBeingAskedFor) {
    LaunchWithUsb({"weak-flash=0x0800C101"});
    ASSERT_TRUE(RunUpdate());
    EXPECT_EQ(StepState::Failed, Step(2));
    EXPECT_FALSE(Update().pnlMessage()->isVisible());
    const QStringList lines = LinesAfterTheCopy();
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines.front().startsWith(QStringLiteral("Error: Verifying page 3"))) << lines.front().toStdString();
}

TEST_F(UpdateDialogTest, BlockThatNeverWritesListsItsErrorAndCancels) {
    LaunchWithUsb({"refuse-write=0x0800C040:0"});
    ASSERT_TRUE(RunUpdate());
    EXPECT_EQ(StepState::Failed, Step(2));
    const QStringList lines = LinesAfterTheCopy();
    ASSERT_EQ(3, lines.size());
    EXPECT_EQ(QStringList({"Error: Programming page 3, address 0x0800C040, lenth 0x80", "Error: Update canceled"}),
              lines.mid(0, 2));
    EXPECT_TRUE(lines[2].contains(QStringLiteral("in its boot loader"))) << "what the instrument is left in, and what to do";
    EXPECT_FALSE(Update().pnlMessage()->isVisible());
    // The boot loader was told to leave at the end; with the application's
    // header block erased it keeps the instrument.
    const auto commands = Instrument().journal().entries(tola::sim::EventKind::ControllerCommand);
    EXPECT_EQ(1, std::count_if(commands.begin(), commands.end(), [](const auto& c) { return c.code == 10; }));
    EXPECT_TRUE(Instrument().in_update_mode());
}

TEST_F(UpdateDialogTest, RefusalOfTheEligibilityTableIsAnErrorBox) {
    LaunchWithUsb({}, "502a");
    ASSERT_TRUE(RunUpdate());
    ASSERT_EQ(1u, errorBoxes_.size());
    EXPECT_EQ(QStringLiteral("Update cannot be processed.\n\rChromatik® V Updates only possible from firmware version 503e.\n\r"),
              errorBoxes_[0]);
    for (int tag = 1; tag <= 5; ++tag) EXPECT_FALSE(Update().pnlTL(tag)->isVisible()) << tag;
    EXPECT_TRUE(Update().btnCancel()->isEnabled());
    EXPECT_TRUE(Update().btnUpdateFW_CKV()->isEnabled());
}

TEST_F(UpdateDialogTest, SettingsThatCannotBeWrittenAreStepFourRedWithABox) {
    LaunchWithUsb();
    const auto version = Instrument().layout().find(tola::sim::tw::kVersion);
    ASSERT_TRUE(version.has_value());
    Instrument().inject("refuse-write=" + std::to_string(version->address) + ":0");
    ASSERT_TRUE(RunUpdate());
    EXPECT_EQ(StepState::Done, Step(3));
    EXPECT_EQ(StepState::Failed, Step(4));
    EXPECT_EQ(QStringLiteral("Error writing setup"), StepText(4));
    EXPECT_EQ(StepState::Off, Step(5));
    ASSERT_EQ(1u, boxes_.size());
    EXPECT_TRUE(boxes_[0].text.startsWith(QStringLiteral("Error writing version.\n\r")));
    EXPECT_EQ(QMessageBox::Ok, boxes_[0].buttons);
    EXPECT_FALSE(Update().pnlMessage()->isVisible());
}

TEST_F(UpdateDialogTest, InstrumentSlowToRestartIsWaitedFor) {
    LaunchWithUsb({"restart-silence=9000"});
    ASSERT_TRUE(RunUpdate());
    for (int tag = 1; tag <= 5; ++tag) EXPECT_EQ(StepState::Done, Step(tag)) << tag;
    EXPECT_EQ(QStringLiteral("Update completed"), Update().lblMsg()->text());
    EXPECT_EQ("512bLE", Instrument().firmware());
}

TEST_F(UpdateDialogTest, UnreadableSettingsAreStepOneRedAndNeverEnterProgrammingMode) {
    LaunchWithUsb();
    Instrument().inject("refuse=0x222402:100000");
    ASSERT_TRUE(RunUpdate());
    EXPECT_EQ(StepState::Failed, Step(1));
    EXPECT_EQ(QStringLiteral("Error reading setup"), StepText(1));
    EXPECT_EQ(QColor(255, 0, 0), PanelColour(Update().pnlTL(1)));
    for (int tag = 2; tag <= 5; ++tag) EXPECT_FALSE(Update().pnlTL(tag)->isVisible()) << tag;
    EXPECT_EQ(QStringList{"Error: Update canceled"}, Lines());
    EXPECT_TRUE(boxes_.empty());
    EXPECT_TRUE(errorBoxes_.empty());
    EXPECT_FALSE(Update().pnlMessage()->isVisible());
    EXPECT_TRUE(Update().btnCancel()->isEnabled());
    EXPECT_EQ(0u, Instrument().journal().count(tola::sim::EventKind::ControllerCommand));
    EXPECT_FALSE(Instrument().in_update_mode());
    EXPECT_EQ("511vLE", Instrument().firmware());
}

TEST_F(UpdateDialogTest, UnexpectedFailureWhileStoringTheSettingsShowsTheRedResultPanel) {
    StartInstruments({UsbChromatikV()});
    Launch({QStringLiteral("-cFW_Select")},
           std::make_unique<CommBinding>(std::make_unique<ScriptedLibraries>(std::map<std::string, void*>{
               {"bTOLA_comm_set_state", reinterpret_cast<void*>(&StoreRunsOutOfMemory)}})));
    ASSERT_TRUE(WaitForUpdateDialog());
    ASSERT_TRUE(RunUpdate());
    EXPECT_EQ(StepState::Done, Step(3));
    EXPECT_EQ(StepState::Busy, Step(4));
    EXPECT_EQ(StepState::Off, Step(5));
    ASSERT_EQ(1u, boxes_.size());
    EXPECT_EQ(QStringLiteral("Error: Update canceled"), boxes_[0].text);
    EXPECT_TRUE(errorBoxes_.empty());

    ASSERT_TRUE(Update().pnlMessage()->isVisible());
    EXPECT_EQ(QStringLiteral("Update error"), Update().lblMsg()->text());
    EXPECT_EQ(QStringLiteral("Cancel"), Update().btnMessage()->text());
    EXPECT_EQ(QColor(255, 0, 0), PanelColour(Update().pnlMessage()));
    EXPECT_TRUE(Update().btnMessage()->isEnabled());
    QTest::mouseClick(Update().btnMessage(), Qt::LeftButton);
    EXPECT_FALSE(Update().isVisible());
    EXPECT_EQ(QDialog::Rejected, Update().result());

    // The next showing starts without the panel.
    Update().ShowModal();
    ASSERT_TRUE(Update().isVisible());
    EXPECT_FALSE(Update().pnlMessage()->isVisible());
}

TEST_F(UpdateDialogTest, InstrumentUnpluggedWhileProgrammingIsStepTwoRedAndConnectedAgainLater) {
    LaunchWithUsb();
    QTest::mouseClick(Update().btnUpdateFW_CKV(), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([this] { return Step(2) == StepState::Busy; }, 10000));
    ASSERT_TRUE(WaitUntil(
        [this] { return Instrument().journal().count(tola::sim::EventKind::FlashWrite) >= 100; }, 30000));
    Instrument().unplug();
    ASSERT_TRUE(WaitUntil([this] { return !Update().UpdateRunning(); }, 60000));

    EXPECT_EQ(StepState::Done, Step(1));
    EXPECT_EQ(StepState::Failed, Step(2));
    EXPECT_EQ(QStringLiteral("Update error"), StepText(2));
    EXPECT_EQ(QColor(255, 0, 0), PanelColour(Update().pnlTL(2)));
    EXPECT_FALSE(Update().pnlTL(3)->isVisible());
    const QStringList lines = LinesAfterTheCopy();
    ASSERT_EQ(3, lines.size());
    // The plug goes between two blocks: the next flash command to fail is a
    // block's programming or the erase of the next sector.
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Error: Programming page ")) ||
                lines[0].startsWith(QStringLiteral("Error: Deleting page ")))
        << lines[0].toStdString();
    EXPECT_EQ(QStringLiteral("Error: Update canceled"), lines[1]);
    EXPECT_FALSE(Update().pnlMessage()->isVisible());
    EXPECT_TRUE(Update().btnCancel()->isEnabled());
    EXPECT_TRUE(errorBoxes_.empty());
    EXPECT_TRUE(boxes_.empty());

    // The device watch gives the instrument up; plugged in again it answers only
    // as its boot loader, which keeps the half-programmed instrument: the main
    // window says so, and "Run" completes the update once the technician has
    // confirmed which interrupted update is the instrument's.
    ASSERT_TRUE(WaitUntil([this] { return Main().lblDevice()->text() == QStringLiteral("Device: ----"); }, 20000));
    Instrument().replug();
    EXPECT_TRUE(Instrument().in_update_mode());
    ASSERT_TRUE(WaitUntil([this] { return Main().lblPending()->isVisible(); }, 20000))
        << Main().lblDevice()->text().toStdString() << " / " << Main().lblPending()->text().toStdString();
    EXPECT_THAT(Main().lblPending()->text().toStdString(), ::testing::HasSubstr("boot loader"));
    ASSERT_TRUE(WaitUntil([this] { return Update().btnUpdateFW_CKV()->isEnabled(); }, 10000));
    boxes_.clear();
    boxAnswer_ = QMessageBox::Yes;
    ASSERT_TRUE(RunUpdate());
    ASSERT_EQ(1u, boxes_.size());
    EXPECT_THAT(boxes_.front().text.toStdString(), ::testing::HasSubstr("H51234"));
    EXPECT_EQ("512bLE", Instrument().firmware());
    EXPECT_TRUE(PendingSettings(DefaultSettingsBackupFolder()).isEmpty());
}

// The dialog names the instrument "Run" acts on; the instrument that went away
// disables Run; another one connected in its place is shown before any update
// can start, even when its display had not reached the dialog yet.
TEST_F(UpdateDialogTest, RunActsOnlyOnTheInstrumentTheDialogShows) {
    auto second = UsbChromatikV();
    second.serial = "H59999";
    StartInstruments({UsbChromatikV(), second});
    Instrument(1).unplug();
    Launch({QStringLiteral("-cFW_Select")});
    ASSERT_TRUE(WaitForUpdateDialog());
    const QString first = QStringLiteral("Instrument: Chromatik® V, serial number H51234, firmware V511vLE");
    EXPECT_EQ(first, Update().lblInstrument()->text());
    const TDeviceInfo shownFirst = Update().ShownDeviceInfo();

    Instrument(0).unplug();
    ASSERT_TRUE(WaitUntil([this] { return !Update().btnUpdateFW_CKV()->isEnabled(); }, 20000));
    EXPECT_EQ(QStringLiteral("No instrument connected"), Update().lblInstrument()->text());

    Instrument(1).replug();
    ASSERT_TRUE(WaitUntil([this] { return Update().btnUpdateFW_CKV()->isEnabled(); }, 20000));
    const QString other = QStringLiteral("Instrument: Chromatik® V, serial number H59999, firmware V511vLE");
    EXPECT_EQ(other, Update().lblInstrument()->text());

    // The first instrument's display arriving late (or the second's not yet):
    // Run shows the instrument connected now and updates nothing.
    Update().SetDeviceInfo(shownFirst);
    ASSERT_EQ(first, Update().lblInstrument()->text());
    ASSERT_TRUE(Update().btnUpdateFW_CKV()->isEnabled());
    QTest::mouseClick(Update().btnUpdateFW_CKV(), Qt::LeftButton);
    EXPECT_FALSE(Update().UpdateRunning());
    EXPECT_EQ(other, Update().lblInstrument()->text());
    EXPECT_EQ(1, CountTraces("ReserveForUpdate: the instrument shown is not the one connected"));
    EXPECT_FALSE(Main().USBWatchIdle());
    EXPECT_EQ(0u, Instrument(1).journal().count(tola::sim::EventKind::ControllerCommand));
    EXPECT_EQ(0u, Instrument(0).journal().count(tola::sim::EventKind::ControllerCommand));

    // Seen, it can be updated.
    ASSERT_TRUE(RunUpdate());
    EXPECT_EQ(StepState::Done, Step(5));
    EXPECT_EQ("512bLE", Instrument(1).firmware());
    EXPECT_EQ("511vLE", Instrument(0).firmware());
}

// Outside the service mode: the user cancels the search and the USB instrument
// connects; after the completed update the dialog that the automation opens
// again once the instrument is back says the firmware is installed, and Run
// stays disabled.
TEST_F(UpdateDialogTest, DialogReopenedAfterACompletedUpdateShowsTheFirmwareAsCurrent) {
    StartInstruments({UsbChromatikV()});
    Launch();
    // The search is modal: the user's Cancel comes from inside its event loop.
    TfrmDiscover& search = Windows().frmDiscover();
    int cancelled = 0;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        // Not while a search runs: the dialog refuses to close then.
        if (search.isVisible() && search.btnDiscSearch()->isEnabled() && search.btnDiscCancel()->isEnabled()) {
            search.btnDiscCancel()->click();
            ++cancelled;
        }
    });
    user.start(50);
    ASSERT_TRUE(WaitForUpdateDialog(30000));
    user.stop();
    EXPECT_EQ(1, cancelled);
    EXPECT_EQ(QStringLiteral("Instrument: Chromatik® V, serial number H51234, firmware V511vLE"),
              Update().lblInstrument()->text());
    ASSERT_TRUE(RunUpdate());
    ASSERT_EQ(StepState::Done, Step(5));
    // The finished dialog already knows the new release.
    EXPECT_FALSE(Update().btnUpdateFW_CKV()->isEnabled());
    QTest::mouseClick(Update().btnMessage(), Qt::LeftButton);
    ASSERT_FALSE(Update().isVisible());

    Instrument().unplug();
    ASSERT_TRUE(WaitUntil([this] { return Main().lblDevice()->text() == QStringLiteral("Device: ----"); }, 20000));
    Instrument().replug();
    ASSERT_TRUE(WaitUntil([this] { return Update().isVisible(); }, 20000));
    EXPECT_EQ(QStringLiteral("CKV V512bLE"), Update().lblUpdateVersion()->text());
    EXPECT_EQ(QStringLiteral("Instrument: Chromatik® V, serial number H51234, firmware V512bLE\n"
                             "This firmware is already installed."),
              Update().lblInstrument()->text());
    EXPECT_FALSE(Update().btnUpdateFW_CKV()->isEnabled());
    EXPECT_TRUE(Update().btnCancel()->isEnabled());
    EXPECT_TRUE(errorBoxes_.empty());
}

// The update keeps a copy of the firmware it replaced; "Previous firmware..."
// loads it into the dialog, and "Run" writes it back without copying the
// firmware it replaces in turn.
TEST_F(UpdateDialogTest, PreviousFirmwareIsWrittenBackThroughTheDialog) {
    LaunchWithUsb();
    ASSERT_TRUE(RunUpdate());
    ASSERT_EQ(StepState::Done, Step(5));
    const QString folder = DefaultFirmwareBackupFolder();
    QVector<FirmwareBackup> copies = FirmwareBackupsOf(folder, QStringLiteral("H51234"));
    ASSERT_EQ(1, copies.size());
    EXPECT_EQ(QStringLiteral("511vLE"), copies.front().release);
    QString why;
    const QString path = RollbackCopy(folder, QStringLiteral("H51234"), QString(), &why);
    ASSERT_FALSE(path.isEmpty()) << why.toStdString();

    ASSERT_TRUE(WaitUntil([this] { return Update().ShownDeviceInfo().FirmwareVersion == "512bLE"; }, 20000));
    ASSERT_TRUE(Update().OpenRollback(path));
    EXPECT_EQ(QStringLiteral("Update to V511vLE"), Update().lblUpdateVersion2()->text());
    ASSERT_TRUE(WaitUntil([this] { return Update().btnUpdateFW_CKV()->isEnabled(); }, 20000));
    ASSERT_TRUE(RunUpdate());
    EXPECT_EQ(StepState::Done, Step(5)) << Lines().join('\n').toStdString();
    EXPECT_EQ("511vLE", Instrument().firmware());
    EXPECT_EQ(1, FirmwareBackupsOf(folder, QStringLiteral("H51234")).size()) << "the rollback took no copy";
    EXPECT_TRUE(errorBoxes_.empty());
}

}  // namespace
}  // namespace ckupdate::testing
