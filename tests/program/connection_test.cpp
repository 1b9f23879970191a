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

#include <QThread>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

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

// Which thread called the library's connection functions while recording is on.
struct ConnectionCalls {
    std::mutex mutex;
    std::vector<std::pair<std::string, QString>> calls;  // function, thread name
    std::atomic<bool> recording{false};
    void Note(const char* function) {
        if (!recording.load()) return;
        std::lock_guard lock(mutex);
        calls.emplace_back(function, QThread::currentThread()->objectName());
    }
};
ConnectionCalls g_calls;

#define CK_RECORDED(name, Ret, Params, Args)                                              \
    Ret Recorded_##name Params {                                                          \
        g_calls.Note(#name);                                                              \
        return ScriptedLibraries::Real<decltype(&::name)>(#name) Args;                   \
    }
CK_RECORDED(iTOLA_comm_poll_initialize, std::int32_t, (PXM_COMM * c), (c))
CK_RECORDED(TOLA_comm_close, std::int32_t, (), ())
CK_RECORDED(bTOLA_comm_test, std::int32_t, (), ())
CK_RECORDED(bTOLA_comm_send_command, std::int32_t, (COMM_USB_HOST * h), (h))
CK_RECORDED(TOLA_comm_bt_set_device_ex, std::int32_t, (BT_DEVICE * d, std::int32_t n), (d, n))
CK_RECORDED(bTOLA_comm_bt_discovery_ex, std::int32_t, (BT_DEVICES * d, std::int32_t n), (d, n))
#undef CK_RECORDED

std::unique_ptr<CommBinding> RecordingBinding() {
    return std::make_unique<CommBinding>(std::make_unique<ScriptedLibraries>(std::map<std::string, void*>{
        {"iTOLA_comm_poll_initialize", reinterpret_cast<void*>(&Recorded_iTOLA_comm_poll_initialize)},
        {"TOLA_comm_close", reinterpret_cast<void*>(&Recorded_TOLA_comm_close)},
        {"bTOLA_comm_test", reinterpret_cast<void*>(&Recorded_bTOLA_comm_test)},
        {"bTOLA_comm_send_command", reinterpret_cast<void*>(&Recorded_bTOLA_comm_send_command)},
        {"TOLA_comm_bt_set_device_ex", reinterpret_cast<void*>(&Recorded_TOLA_comm_bt_set_device_ex)},
        {"bTOLA_comm_bt_discovery_ex", reinterpret_cast<void*>(&Recorded_bTOLA_comm_bt_discovery_ex)}}));
}

// From "Run" to the end of the update only the update's worker opens, tests,
// closes or commands the instrument: the poll timer keeps waking the
// connection thread, and the menu commands and the automation's clicks that
// arrive meanwhile are refused.
TEST_F(ConnectionTest, NothingButTheUpdateTouchesTheInstrumentWhileItRuns) {
    StartInstruments({UsbChromatikV()});
    Launch({QStringLiteral("-cFW_Select")}, RecordingBinding());
    ASSERT_TRUE(WaitForUpdateDialog());
    {
        std::lock_guard lock(g_calls.mutex);
        g_calls.calls.clear();
    }
    const int cycles = CountTraces("TfrmMain/TConnectionThread: csInterface.Acquired");
    QTest::mouseClick(Update().btnUpdateFW_CKV(), Qt::LeftButton);
    ASSERT_TRUE(Update().UpdateRunning());
    g_calls.recording = true;
    EXPECT_TRUE(Main().USBWatchIdle());

    ASSERT_TRUE(WaitUntil([this] { return Update().StepStateOf(2) == StepState::Busy; }, 10000));
    Main().smExtraDisconnect()->trigger();
    Main().smExtraConnectDevClick(Main().smExtraConnectBT());
    Main().PostDiscoverMenuCommand();
    Main().PostDiscoverSearchClick();
    Main().PostUpdateButtonClick();
    ASSERT_TRUE(WaitUntil([this] { return Update().StepStateOf(3) == StepState::Busy; }, 60000));
    Main().smExtraDisconnect()->trigger();
    ASSERT_TRUE(WaitUntil([this] { return !Update().UpdateRunning(); }, 60000));
    g_calls.recording = false;

    EXPECT_EQ(StepState::Done, Update().StepStateOf(5));
    EXPECT_EQ("512bLE", Instrument().firmware());
    std::vector<std::pair<std::string, QString>> calls;
    {
        std::lock_guard lock(g_calls.mutex);
        calls = g_calls.calls;
    }
    int reopened = 0;
    for (const auto& [function, thread] : calls) {
        EXPECT_EQ(QStringLiteral("TfrmCkUpdate.worker"), thread) << function;
        if (function == "iTOLA_comm_poll_initialize") ++reopened;
    }
    EXPECT_EQ(1, reopened) << "the update opens the restarted instrument itself";
    // The connection thread kept running, and did nothing.
    EXPECT_GT(CountTraces("TfrmMain/TConnectionThread: csInterface.Acquired"), cycles);
    EXPECT_EQ(2, CountTraces("smExtraDisconnectClick: refused, an update is running"));
    EXPECT_EQ(1, CountTraces("smExtraConnectDevClick: refused, an update is running"));
    EXPECT_EQ(1, CountTraces("smExtraConnectSelectBTDClick: refused, an update is running"));
    EXPECT_EQ(1, CountTraces("PostDiscoverSearchClick: refused, an update is running"));
    EXPECT_EQ(0, CountTraces("tj_DisconnectDev"));
    EXPECT_FALSE(Windows().frmDiscover().isVisible());

    // Afterwards the connection is the connection thread's again: it tests the
    // instrument that the update left open.
    EXPECT_FALSE(Main().USBWatchIdle());
    EXPECT_FALSE(Main().ReservedForUpdate());
    g_calls.recording = true;
    ASSERT_TRUE(WaitUntil(
        [] {
            std::lock_guard lock(g_calls.mutex);
            return std::any_of(g_calls.calls.begin(), g_calls.calls.end(),
                               [](const auto& c) { return c.first == "bTOLA_comm_test"; });
        },
        10000));
    g_calls.recording = false;
    EXPECT_EQ(QStringLiteral("Firmware: 512bLE"), Main().lblFirmware()->text());
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
    {
        // The connection thread's last cycles find the section taken and run no
        // job before the thread ends (how many cycles run is the thread's timing).
        TInterfaceLock busy;
        busy.Enter();
        Main().close();
    }
    EXPECT_FALSE(Main().isVisible());
    EXPECT_FALSE(Main().ConnectionThread()->isRunning());
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

tola::sim::InstrumentConfig SecondUsbChromatikV() {
    auto c = UsbChromatikV();
    c.serial = "H51236";
    return c;
}

TEST_F(ConnectionTest, SingleUsbInstrumentConnectsWithoutAQuestion) {
    StartInstruments({UsbChromatikV()});
    Launch({QStringLiteral("-cFW_Select")});
    ASSERT_TRUE(WaitForUpdateDialog());
    EXPECT_TRUE(instrumentRequests_.empty());
    EXPECT_FALSE(Main().Limit().Active());
    EXPECT_EQ(QStringLiteral("Serial: H51234"), Main().lblSerial()->text());
}

// The user is asked which one to connect, and the one chosen stays chosen
// across a reconnect until the user chooses again.
TEST_F(ConnectionTest, SeveralUsbInstrumentsAreOfferedAndTheChosenOneIsConnected) {
    StartInstruments({UsbChromatikV(), SecondUsbChromatikV()});
    instrumentAnswer_ = 1;
    Launch({QStringLiteral("-cFW_Select")});
    ASSERT_TRUE(WaitForUpdateDialog());
    ASSERT_EQ(1u, instrumentRequests_.size());
    QStringList offered;
    for (const SurveyedInstrument& s : instrumentRequests_[0].instruments)
        offered << s.serial + " " + s.product + " " + s.firmware + " " + s.where;
    EXPECT_EQ((QStringList{"H51234 Chromatik® V 511vLE dev0", "H51236 Chromatik® V 511vLE dev1"}), offered);
    EXPECT_EQ(QStringLiteral("Serial: H51236"), Main().lblSerial()->text());
    EXPECT_EQ(QStringLiteral("H51236"), Update().ShownDeviceInfo().Serial);
    EXPECT_EQ((SearchLimit{"H51236", "dev1"}), Main().Limit());

    Update().reject();
    instrumentAnswer_ = 0;
    Main().smExtraChooseInstrument()->trigger();
    ASSERT_TRUE(WaitUntil([this] { return Main().lblSerial()->text() == QStringLiteral("Serial: H51234"); }, 10000));
    EXPECT_EQ(2u, instrumentRequests_.size());
    ASSERT_TRUE(WaitForUpdateDialog());
    Update().reject();

    // Gone: the other instrument is not connected instead.
    Instrument(0).unplug();
    ASSERT_TRUE(WaitUntil([this] { return Main().lblDevice()->text() == QStringLiteral("Device: ----"); }, 15000));
    ASSERT_TRUE(WaitUntil([this] { return CountTraces("tj_ReconnectDev") >= 3; }, 10000));
    EXPECT_EQ(QStringLiteral("Device: ----"), Main().lblDevice()->text());
    Instrument(0).replug();
    ASSERT_TRUE(WaitUntil([this] { return Main().lblSerial()->text() == QStringLiteral("Serial: H51234"); }, 15000));
    EXPECT_EQ(2u, instrumentRequests_.size());
}

TEST_F(ConnectionTest, NoChoiceAmongSeveralUsbInstrumentsConnectsNoneAndNamesThem) {
    StartInstruments({UsbChromatikV(), SecondUsbChromatikV()});
    Launch({QStringLiteral("-cFW_Select")});
    ASSERT_TRUE(WaitUntil([this] { return Main().lblPending()->isVisible(); }, 10000));
    EXPECT_TRUE(Main().lblPending()->text().contains(QStringLiteral("(H51234, H51236)")));
    EXPECT_EQ(QStringLiteral("Device: ----"), Main().lblDevice()->text());
    EXPECT_FALSE(Update().isVisible());
    EXPECT_EQ(1u, instrumentRequests_.size());
}

}  // namespace
}  // namespace ckupdate::testing
