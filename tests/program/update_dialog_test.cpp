// The update dialog as the user drives it: "Run" against a virtual Chromatik V
// on USB, the five traffic lights, the result panel, the message list and the
// boxes of the failure paths; closing while an update runs.
#include "tests/program/program_fixture.h"

#include "update/firmware/firmware_catalog.h"

#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <algorithm>

namespace ckupdate::testing {
namespace {

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
    Update().close();
    Main().close();
    EXPECT_TRUE(Update().isVisible());
    EXPECT_TRUE(Main().isVisible());
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
    EXPECT_EQ(QStringLiteral("Remaining time: 00:00"), Update().lblRemainTime()->text());
    EXPECT_TRUE(errorBoxes_.empty());
    EXPECT_TRUE(boxes_.empty());
    EXPECT_EQ("512bLE", Instrument().firmware());

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

TEST_F(UpdateDialogTest, BlockThatNeverWritesListsItsErrorAndCancels) {
    LaunchWithUsb({"refuse-write=0x0800C040:0"});
    ASSERT_TRUE(RunUpdate());
    EXPECT_EQ(StepState::Failed, Step(2));
    EXPECT_EQ(QStringList({"Error: Programming page 3, address 0x0800C040, lenth 0x80", "Error: Update canceled"}),
              Lines());
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

TEST_F(UpdateDialogTest, InstrumentSilentAfterTheRestartLeavesStepThreeYellow) {
    LaunchWithUsb({"restart-silence=9000"});
    ASSERT_TRUE(RunUpdate());
    EXPECT_EQ(StepState::Done, Step(2));
    EXPECT_EQ(StepState::Busy, Step(3));
    EXPECT_EQ(QStringLiteral("Waiting for Chromatik reset"), StepText(3));
    EXPECT_EQ(QColor(255, 255, 0), PanelColour(Update().pnlTL(3)));
    EXPECT_EQ(StepState::Off, Step(4));
    EXPECT_FALSE(Update().pnlMessage()->isVisible());
}

}  // namespace
}  // namespace ckupdate::testing
