// The connection thread and the automation against virtual instruments: the
// search that opens by itself and connects the single instrument found, the
// device watch that gives up on an instrument after three failed tests, the
// Disconnect item that stops polling.
#include "tests/program/program_fixture.h"

#include "update/bluetooth/bt_discover.h"
#include "update/shell/interface_section.h"

#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTimer>

#include <atomic>

namespace ckupdate::testing {
namespace {

using ConnectionTest = ProgramTest;

std::atomic<int> g_closes{0};

// The library's close, counted.
std::int32_t CountingClose() {
    ++g_closes;
    return ScriptedLibraries::Real<decltype(&::TOLA_comm_close)>("TOLA_comm_close")();
}

TEST_F(ConnectionTest, StartWithoutArgumentsSearchesConnectsTheSingleInstrumentAndOpensTheUpdate) {
    StartInstruments({BluetoothChromatikV()});
    Launch();
    EXPECT_FALSE(Main().mmFirmware()->menuAction()->isVisible());
    ASSERT_TRUE(WaitForUpdateDialog(20000));

    // The search dialog was opened by the automation and closed after one hit.
    EXPECT_EQ(1, CountTraces("TfrmMain.smExtraConnectSelectBTDClick: Enter"));
    EXPECT_EQ(1, CountTraces("TfrmMain/TConnectionThread: tj_CloseAndReConnect"));
    EXPECT_FALSE(Windows().frmDiscover().isVisible());
    EXPECT_EQ(TfrmDiscover::mrOk, Windows().frmDiscover().result());
    EXPECT_EQ(kPortBluetooth, Main().PortData().iPort);
    EXPECT_EQ(1, Main().BtDevices().iCount);
    EXPECT_STREQ("TOLA Chromatik V H51235", Main().BtDevices().qBtDevice[0].snBtDeviceName);
    EXPECT_TRUE(Main().Settings().BluetoothDevice.startsWith(QStringLiteral("TOLA Chromatik V H51235#")));
    EXPECT_TRUE(Main().smExtraConnectBT()->isEnabled());
    EXPECT_TRUE(Main().smExtraConnectBT()->isChecked());
    EXPECT_EQ(QStringLiteral("Via Bluetooth to TOLA Chromatik V H51235"), Main().smExtraConnectBT()->text());

    // Connected: the status bar names the instrument.
    EXPECT_EQ(QStringLiteral("TOLA Chromatik Updater - Chromatik® V"), Main().windowTitle());
    EXPECT_EQ(QStringLiteral("Device: Chromatik® V"), Main().lblDevice()->text());
    EXPECT_EQ(QStringLiteral("Serial: H51235"), Main().lblSerial()->text());
    EXPECT_EQ(QStringLiteral("Firmware: 511vLE"), Main().lblFirmware()->text());
    EXPECT_TRUE(Main().bbtnCKUpdate()->isEnabled());
    EXPECT_TRUE(Main().smExtraDisconnect()->isEnabled());
    EXPECT_EQ(3u, Main().DevInfo().CpuType);
    EXPECT_EQ(5324u, Main().DevInfo().Device);
    EXPECT_EQ(QStringLiteral("CKV V511vLE"), Update().lblUpdateVersion()->text());
    EXPECT_TRUE(errorBoxes_.empty());
}

TEST_F(ConnectionTest, KnownDeviceThatIsNoInstrumentInTheFirstRowIsNotConnected) {
    {
        QSettings store(QSettings::IniFormat, QSettings::UserScope, "TOLA", "CK-Update");
        store.setValue("Options/BluetoothDevice", "Old Scanner#00:11:22:33:44:55");
    }
    StartInstruments({BluetoothChromatikV()});
    Launch();
    ASSERT_TRUE(WaitUntil([this] { return CountTraces("smExtraConnectSelectBTDClick: no instrument chosen") == 1; }, 20000));
    EXPECT_EQ(TfrmDiscover::mrOk, Windows().frmDiscover().result());
    EXPECT_EQ(0, CountTraces("CK_comm_BtSetDevice"));
    EXPECT_NE(kPortBluetooth, Main().PortData().iPort);
    EXPECT_TRUE(errorBoxes_.empty());
}

TEST_F(ConnectionTest, InstrumentThatStopsAnsweringIsClosedAfterThreeFailedTests) {
    StartInstruments({UsbChromatikV()});
    Launch({QStringLiteral("-cFW_Select")});
    ASSERT_TRUE(WaitForUpdateDialog());
    Update().reject();
    EXPECT_EQ(QStringLiteral("Device: Chromatik® V"), Main().lblDevice()->text());

    Instrument().unplug();
    ASSERT_TRUE(WaitUntil([this] { return Main().lblDevice()->text() == QStringLiteral("Device: ----"); }, 15000));
    EXPECT_EQ(3, CountTraces("TfrmMain/TConnectionThread: ERROR - CKPcomm_test() failed"));
    EXPECT_EQ(QStringLiteral("TOLA Chromatik Updater"), Main().windowTitle());
    EXPECT_EQ(QStringLiteral("Serial: ----"), Main().lblSerial()->text());
    EXPECT_EQ(QStringLiteral("Firmware: ----"), Main().lblFirmware()->text());
    EXPECT_EQ(QStringLiteral("If-Version: ----"), Main().lblInterface()->text());
    EXPECT_FALSE(Main().bbtnCKUpdate()->isEnabled());
    EXPECT_EQ(0u, Main().DevInfo().CpuType);

    // Reconnect attempts follow; the instrument that is back is connected again.
    ASSERT_TRUE(WaitUntil([this] { return CountTraces("tj_ReconnectDev") + CountTraces("tj_WatchOpenDev") >= 2; }, 8000));
    Instrument().replug();
    ASSERT_TRUE(WaitUntil([this] { return Main().lblDevice()->text() == QStringLiteral("Device: Chromatik® V"); }, 15000));
}

TEST_F(ConnectionTest, DisconnectClosesTheInstrumentAndStopsPolling) {
    StartInstruments({UsbChromatikV()});
    Launch({QStringLiteral("-cFW_Select")});
    ASSERT_TRUE(WaitForUpdateDialog());
    Update().reject();

    Main().smExtraDisconnect()->trigger();
    EXPECT_EQ(100, Main().tmrPollConnectionStatus()->interval());
    EXPECT_EQ(1, CountTraces("TfrmMain.smExtraDisconnectClick: csInterface.Acquired"));
    ASSERT_TRUE(WaitUntil([this] { return Main().lblDevice()->text() == QStringLiteral("Device: ----"); }, 5000));
    EXPECT_EQ(1, CountTraces("TfrmMain/TConnectionThread: tj_DisconnectDev"));
    EXPECT_EQ(0, Main().Connection().JobFlags());

    // No job runs any more: the poll timer stays stopped.
    const int cycles = CountTraces("TfrmMain/TConnectionThread: csInterface.Acquired");
    QTest::qWait(2600);
    EXPECT_FALSE(Main().tmrPollConnectionStatus()->isActive());
    EXPECT_EQ(cycles, CountTraces("TfrmMain/TConnectionThread: csInterface.Acquired"));
    EXPECT_EQ(QStringLiteral("Device: ----"), Main().lblDevice()->text());
}

TEST_F(ConnectionTest, UpdateInProgressKeepsTheConnectionThreadAway) {
    StartInstruments({UsbChromatikV()});
    Launch({QStringLiteral("-cFW_Select")});
    ASSERT_TRUE(WaitForUpdateDialog());
    QTest::mouseClick(Update().btnUpdateFW_CKV(), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([this] { return Update().StepStateOf(2) == StepState::Busy; }, 10000));
    EXPECT_TRUE(Main().USBWatchIdle());
    const int tests = CountTraces("CKPcomm_test() failed");
    const int jobs = CountTraces("tj_");
    const int cycles = CountTraces("TfrmMain/TConnectionThread: csInterface.Acquired");
    // Until the last step is green (the bit is still set then) cycles ran, but
    // no job and no failed test of the restarting instrument.
    ASSERT_TRUE(WaitUntil([this] { return Update().StepStateOf(5) == StepState::Done; }, 60000));
    EXPECT_GT(CountTraces("TfrmMain/TConnectionThread: csInterface.Acquired"), cycles);
    EXPECT_EQ(tests, CountTraces("CKPcomm_test() failed"));
    EXPECT_EQ(jobs, CountTraces("tj_"));
    ASSERT_TRUE(WaitUntil([this] { return !Update().UpdateRunning(); }, 10000));
    EXPECT_FALSE(Main().USBWatchIdle());
}

TEST_F(ConnectionTest, ProgramEndClosesTheInstrumentWhenTheLastCycleRanNoDisconnect) {
    g_closes = 0;
    StartInstruments({UsbChromatikV()});
    Launch({QStringLiteral("-cFW_Select")},
           std::make_unique<CommBinding>(std::make_unique<ScriptedLibraries>(
               std::map<std::string, void*>{{"TOLA_comm_close", reinterpret_cast<void*>(&CountingClose)}})));
    ASSERT_TRUE(WaitForUpdateDialog());
    Update().reject();
    const int closes = g_closes.load();
    const int skipped = CountTraces("TfrmMain/TConnectionThread: csInterface not avail");
    {
        // The connection thread's last cycle finds the section taken and runs
        // no job before the thread ends.
        TInterfaceLock busy;
        busy.Enter();
        Main().close();
    }
    EXPECT_FALSE(Main().isVisible());
    EXPECT_FALSE(Main().ConnectionThread()->isRunning());
    EXPECT_EQ(skipped + 1, CountTraces("TfrmMain/TConnectionThread: csInterface not avail"));
    EXPECT_EQ(0, CountTraces("tj_DisconnectDev"));
    EXPECT_EQ(closes + 1, g_closes.load());
    EXPECT_EQ(0, Main().Connection().JobFlags());
}

TEST_F(ConnectionTest, AutomationOpensNoUpdateOverTheBluetoothDialog) {
    StartInstruments({UsbChromatikV()});
    Launch({QStringLiteral("-cFW_Select")});
    ASSERT_TRUE(WaitForUpdateDialog());
    Update().reject();
    ASSERT_TRUE(Main().bbtnCKUpdate()->isEnabled());

    bool searchShown = false;
    bool updateShown = true;
    TfrmDiscover& discover = Windows().frmDiscover();
    QTimer::singleShot(0, &discover, [&] {
        searchShown = discover.isVisible();
        // A connection shown while the search is open asks for the update.
        Main().PostUpdateButtonClick();
        QTimer::singleShot(0, &discover, [&] {
            updateShown = Update().isVisible();
            discover.btnDiscCancel()->click();
        });
    });
    Main().smExtraConnectSelectBTD()->trigger();  // modal until cancelled
    EXPECT_TRUE(searchShown);
    EXPECT_FALSE(updateShown);
    EXPECT_FALSE(Update().isVisible());

    // With the search closed the same request opens the update.
    Main().PostUpdateButtonClick();
    EXPECT_TRUE(WaitUntil([this] { return Update().isVisible(); }, 2000));
}

TEST_F(ConnectionTest, StoredDeviceThatIsNoInstrumentIsNotOfferedAndConnectsNothing) {
    {
        QSettings store(QSettings::IniFormat, QSettings::UserScope, "TOLA", "CK-Update");
        store.setValue("Options/BluetoothDevice", "Old Scanner#00:11:22:33:44:55");
    }
    StartInstruments({UsbChromatikV()});
    Launch({QStringLiteral("-cFW_Select")});
    ASSERT_TRUE(WaitForUpdateDialog());
    Update().reject();
    EXPECT_EQ(1, Windows().frmDiscover().DeviceCount());
    EXPECT_FALSE(Main().smExtraConnectBT()->isEnabled());

    // Reached all the same (the item is the handler's only caller otherwise):
    // the USB connection stays, no device is handed to the library.
    Main().smExtraConnectDevClick(Main().smExtraConnectBT());
    EXPECT_EQ(1, CountTraces("TfrmMain.smExtraConnectDevClick: no instrument chosen"));
    EXPECT_EQ(0, CountTraces("CK_comm_BtSetDevice"));
    EXPECT_FALSE(Main().smExtraConnectBT()->isChecked());
    EXPECT_EQ(0, Main().Connection().JobFlags() & job::kCloseAndReconnect);
    EXPECT_EQ(kPortUsb, Main().PortData().iPort);
    EXPECT_EQ(QStringLiteral("Device: Chromatik® V"), Main().lblDevice()->text());
}

}  // namespace
}  // namespace ckupdate::testing
