// The Bluetooth dialog through the real library and its Bluetooth client
// against virtual instruments registered on the Bluetooth stand-in; the chosen
// instrument is then opened as the main window does.
#include "tests/windows/discover_fixture.h"

#include "update/binding/linked_functions.h"
#include "update/device/device_connection.h"

#include "sim/simulator.h"

#include <QDir>
#include <QTimer>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace ckupdate::testing {
namespace {

class DiscoverVirtualInstruments : public DiscoverDialogFixture {
protected:
    void SetUp() override {
        DiscoverDialogFixture::SetUp();
        ASSERT_TRUE(simDir.isValid());
        ::setenv("TOLA_USB_DIR", (simDir.path() + "/usb").toLocal8Bit().constData(), 1);
        ::setenv("TOLA_BT_DIR", (simDir.path() + "/bt").toLocal8Bit().constData(), 1);
    }
    void TearDown() override {
        dialog.reset();
        sim.reset();
        DiscoverDialogFixture::TearDown();
    }

    void StartInstruments(const std::vector<std::string>& names) {
        const std::string base = simDir.path().toStdString();
        sim = std::make_unique<tola::sim::Simulator>(base + "/usb", base + "/bt");
        for (const std::string& name : names) {
            tola::sim::InstrumentConfig c;
            c.kind = 10;
            c.bt_name = name;
            sim->add(c);
        }
        sim->start();
        for (std::size_t i = 0; i < sim->size(); ++i)
            ASSERT_TRUE(sim->instrument(i).wait_until_present(true, std::chrono::seconds(2)));
    }

    // Opens the dialog as the automation does: a posted Search, and a posted
    // close when exactly one instrument answered.
    int SearchModally(TfrmDiscover& d) {
        recorder.onReport = [&](TProcessState s) {
            if (s == TProcessState::psDiscoveredSingle) d.PostClose();
            if (s != TProcessState::psDiscoveredSingle) QTimer::singleShot(0, d.btnDiscCancel(), &QPushButton::click);
        };
        d.PostSearchClick();
        return d.ShowModal();
    }

    QTemporaryDir simDir;
    std::unique_ptr<tola::sim::Simulator> sim;
};

TEST_F(DiscoverVirtualInstruments, TheOnlyInstrumentIsFoundChosenAndOpened) {
    StartInstruments({"TOLA CK-V 0042"});
    TfrmDiscover& d = Make(CommApi(&LinkedCommFunctions()));
    ASSERT_EQ(TfrmDiscover::mrOk, SearchModally(d));
    EXPECT_EQ(std::vector{TProcessState::psDiscoveredSingle}, recorder.states);
    EXPECT_EQ(QStringLiteral("TOLA CK-V 0042"), Name(d.SelectedDevice()));
    EXPECT_EQ(QStringLiteral("00:80:25:AB:CD:01"), Address(d.SelectedDevice()));
    EXPECT_EQ(1, d.DeviceCount());
    EXPECT_EQ(QStringLiteral("TOLA CK-V 0042#00:80:25:AB:CD:01"), settings.BluetoothDevice);

    // The main window hands the chosen device to the library and opens it.
    const CommApi api(&LinkedCommFunctions());
    BT_DEVICE chosen = d.SelectedDevice();
    api.CK_comm_BtSetDevice(&chosen);
    TDeviceConnection connection(api);
    connection.PortData().iPort = kPortBluetooth;
    std::int32_t r = 0;
    for (int i = 0; i < 50 && r != 1; ++i) {
        r = connection.OpenDev();
        if (r != 1) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_EQ(1, r) << connection.PortData().ssStatus;
    EXPECT_EQ(5324u, connection.DevInfo().Device);
    connection.CloseDev();
}

TEST_F(DiscoverVirtualInstruments, SeveralInstrumentsWaitForTheUser) {
    StartInstruments({"TOLA CK-V 0002", "TOLA CK-V 0001", "Other device"});
    TfrmDiscover& d = Make(CommApi(&LinkedCommFunctions()));
    EXPECT_EQ(TfrmDiscover::mrCancel, SearchModally(d));
    EXPECT_EQ(std::vector{TProcessState::psDiscoveredMultiple}, recorder.states);
    ASSERT_EQ(3, d.KnownDeviceList().Count());
    EXPECT_EQ(QStringLiteral("Other device#00:80:25:AB:CD:03"), d.KnownDeviceList().Entries()[0]);
    EXPECT_EQ(QStringLiteral("TOLA CK-V 0001#00:80:25:AB:CD:02"), d.KnownDeviceList().Entries()[1]);
}

TEST_F(DiscoverVirtualInstruments, NoInstrumentInRange) {
    ASSERT_TRUE(QDir().mkpath(simDir.path() + "/bt"));
    TfrmDiscover& d = Make(CommApi(&LinkedCommFunctions()));
    EXPECT_EQ(TfrmDiscover::mrCancel, SearchModally(d));
    EXPECT_EQ(std::vector{TProcessState::psDiscoverFailed}, recorder.states);
    EXPECT_EQ(QStringLiteral("Bluetooth - no device found"), d.windowTitle());
}

}  // namespace
}  // namespace ckupdate::testing
