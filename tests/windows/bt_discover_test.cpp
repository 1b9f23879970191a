// The Bluetooth discovery dialog against a scripted search: titles, the known
// list, choosing, the outcome reports, closing and the known-devices file.
#include "tests/windows/discover_fixture.h"

#include <QFile>
#include <QHeaderView>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>

#include <condition_variable>
#include <mutex>
#include <string>
#include <utility>

namespace ckupdate::testing {
namespace {

// The library's search as the test scripts it; it may be held until released.
struct ScriptedSearch {
    std::mutex m;
    std::condition_variable cv;
    bool held = false;
    std::int32_t result = 1;
    std::vector<std::pair<std::string, std::string>> devices;  // name, address
    int calls = 0;
    std::int32_t size = 0;

    void Hold() {
        std::lock_guard lock(m);
        held = true;
    }
    void Release() {
        {
            std::lock_guard lock(m);
            held = false;
        }
        cv.notify_all();
    }
};

ScriptedSearch& Search() {
    static ScriptedSearch s;
    return s;
}

std::int32_t ScriptedDiscovery(BT_DEVICES* devices, std::int32_t size) {
    ScriptedSearch& s = Search();
    std::unique_lock lock(s.m);
    ++s.calls;
    s.size = size;
    s.cv.wait(lock, [&] { return !s.held; });
    devices->iCount = static_cast<std::uint32_t>(s.devices.size());
    for (std::size_t i = 0; i < s.devices.size() && i < TOLA_BT_DEVICES_MAX; ++i) {
        std::strncpy(devices->qBtDevice[i].snBtDeviceName, s.devices[i].first.c_str(), sizeof(TMNAME) - 1);
        std::strncpy(devices->qBtDevice[i].snBtAddress, s.devices[i].second.c_str(), sizeof(TMNAME) - 1);
    }
    return s.result;
}

const CommFunctions& ScriptedTable() {
    static const CommFunctions table = [] {
        CommFunctions f;
        f.bTOLA_comm_bt_discovery_ex = &ScriptedDiscovery;
        return f;
    }();
    return table;
}

class DiscoverDialog : public DiscoverDialogFixture {
protected:
    void SetUp() override {
        DiscoverDialogFixture::SetUp();
        ScriptedSearch& s = Search();
        s.Release();
        s.result = 1;
        s.devices.clear();
        s.calls = 0;
    }
    void TearDown() override {
        Search().Release();  // a held search must end before the dialog goes
        dialog.reset();
        DiscoverDialogFixture::TearDown();
    }
    TfrmDiscover& Make() { return DiscoverDialogFixture::Make(CommApi(&ScriptedTable())); }

    // Clicks the row as the user does (press and release on it).
    void ClickRow(int row) {
        QTreeWidget* lv = dialog->lvDevices();
        const QRect r = lv->visualItemRect(lv->topLevelItem(row));
        QTest::mouseClick(lv->viewport(), Qt::LeftButton, {}, r.center());
    }

    QByteArray KnownDevicesFile() const {
        QFile f(dialog->KnownDevicesFileName());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
};

TEST_F(DiscoverDialog, LayoutAndTextsAfterCreation) {
    TfrmDiscover& d = Make();
    EXPECT_EQ(QStringLiteral("Bluetooth"), d.windowTitle());
    EXPECT_EQ(QStringLiteral("Device name"), d.lvDevices()->headerItem()->text(0));
    EXPECT_EQ(QStringLiteral("BT address"), d.lvDevices()->headerItem()->text(1));
    EXPECT_EQ(160, d.lvDevices()->columnWidth(0));
    EXPECT_EQ(QStringLiteral("Search"), d.btnDiscSearch()->text());
    EXPECT_EQ(QStringLiteral("Cancel"), d.btnDiscCancel()->text());
    EXPECT_EQ(QStringLiteral("Connect"), d.btnDiscConnect()->text());
    EXPECT_EQ(QStringLiteral("Delete"), d.btnDiscDelete()->text());
    EXPECT_EQ(QStringLiteral("Clear list"), d.btnDiscDeleteAll()->text());
    EXPECT_EQ(326, d.width());
    EXPECT_EQ(0, d.lvDevices()->topLevelItemCount());
    EXPECT_EQ(0, d.DeviceCount());
    EXPECT_EQ(dataDir.filePath("BtKnownDevices.txt"), d.KnownDevicesFileName());

    d.show();
    EXPECT_EQ(QStringLiteral("Bluetooth - known devices"), d.windowTitle());
    EXPECT_FALSE(d.btnDiscConnect()->isVisible());
    EXPECT_FALSE(d.btnDiscDelete()->isVisible());
    EXPECT_FALSE(d.btnDiscDeleteAll()->isVisible());
    EXPECT_FALSE(d.Panel1()->isVisible());
    EXPECT_TRUE(d.btnDiscSearch()->isVisible());
}

TEST_F(DiscoverDialog, StoredDeviceNameFirstIsShownAndChosen) {
    settings.BluetoothDevice = "TOLA-V 0001#(00:80:25:AB:CD:01)";
    TfrmDiscover& d = Make();
    EXPECT_EQ(QStringList{"TOLA-V 0001 | (00:80:25:AB:CD:01)"}, Rows());
    EXPECT_EQ(1, d.DeviceCount());
    EXPECT_EQ(QStringLiteral("TOLA-V 0001"), Name(d.SelectedDevice()));
    EXPECT_EQ(QStringLiteral("(00:80:25:AB:CD:01)"), Address(d.SelectedDevice()));
    EXPECT_EQ(QStringLiteral("TOLA-V 0001"), d.DeviceName(0));
    EXPECT_EQ(QStringLiteral("(00:80:25:AB:CD:01)"), d.DeviceAddress(0));
    EXPECT_EQ(QString(), d.DeviceName(1));
    EXPECT_EQ(QString(), d.DeviceName(-1));
    EXPECT_TRUE(d.btnDiscConnect()->isEnabled());
    EXPECT_EQ(QStringLiteral("TOLA-V 0001#(00:80:25:AB:CD:01)"), settings.BluetoothDevice);
}

TEST_F(DiscoverDialog, StoredDeviceAddressFirstIsRewritten) {
    settings.BluetoothDevice = "(00:80:25:AB:CD:01)#TOLA-V 0001";
    TfrmDiscover& d = Make();
    EXPECT_EQ(QStringList{"TOLA-V 0001 | (00:80:25:AB:CD:01)"}, Rows());
    EXPECT_EQ(QStringLiteral("TOLA-V 0001#(00:80:25:AB:CD:01)"), settings.BluetoothDevice);
    EXPECT_EQ(QStringLiteral("TOLA-V 0001"), Name(d.SelectedDevice()));
}

TEST_F(DiscoverDialog, ShortOrMalformedSettingsLeaveTheListEmpty) {
    for (const QString& stored : {QStringLiteral("TOLA#12345"), QStringLiteral("no hash in this setting"),
                                  QStringLiteral("(00:80:25:AB:CD:01)#")}) {
        settings.BluetoothDevice = stored;
        TfrmDiscover& d = Make();
        EXPECT_TRUE(Rows().isEmpty()) << stored.toStdString();
        EXPECT_EQ(0, d.DeviceCount());
        EXPECT_EQ(QString(), Name(d.SelectedDevice()));
        EXPECT_EQ(stored, settings.BluetoothDevice);  // kept as it was
    }
}

TEST_F(DiscoverDialog, StoredDeviceNotNamedTolaIsShownButNotChosen) {
    settings.BluetoothDevice = "Headset 12#00:11:22:33:44:55";
    TfrmDiscover& d = Make();
    EXPECT_EQ(QStringList{"Headset 12 | 00:11:22:33:44:55"}, Rows());
    EXPECT_EQ(1, d.DeviceCount());
    EXPECT_EQ(QString(), Name(d.SelectedDevice()));
    EXPECT_FALSE(d.btnDiscConnect()->isEnabled());
}

TEST_F(DiscoverDialog, SearchShowsProgressAndRefusesToCloseUntilItEnds) {
    Search().devices = {{"TOLA-V 0002", "00:80:25:AB:CD:02"}};
    Search().Hold();
    TfrmDiscover& d = Make();
    d.show();
    d.btnDiscSearch()->click();
    EXPECT_TRUE(d.SearchRunning());
    EXPECT_EQ(QStringLiteral("Bluetooth - Searching for devices..."), d.windowTitle());
    EXPECT_TRUE(d.Panel1()->isVisible());
    EXPECT_EQ(0, d.pbDiscovery()->maximum());  // marquee
    EXPECT_FALSE(d.btnDiscSearch()->isEnabled());
    EXPECT_FALSE(d.btnDiscCancel()->isEnabled());
    EXPECT_FALSE(d.lvDevices()->isEnabled());
    EXPECT_EQ(Qt::WaitCursor, d.cursor().shape());

    d.close();
    EXPECT_TRUE(d.isVisible());
    d.PostSearchClick();  // the button is disabled: nothing happens
    QCoreApplication::processEvents();

    Search().Release();
    WaitForSearchEnd();
    EXPECT_EQ(1, Search().calls);
    EXPECT_EQ(5104, Search().size);
    EXPECT_FALSE(d.Panel1()->isVisible());
    EXPECT_TRUE(d.lvDevices()->isEnabled());
    EXPECT_NE(Qt::WaitCursor, d.cursor().shape());
    d.close();
    EXPECT_FALSE(d.isVisible());
}

TEST_F(DiscoverDialog, SingleDeviceFoundIsChosenAndReported) {
    Search().devices = {{"TOLA-V 0002", "00:80:25:AB:CD:02"}};
    TfrmDiscover& d = Make();
    d.show();
    d.btnDiscSearchClick();
    WaitForSearchEnd();
    EXPECT_EQ(QStringLiteral("Bluetooth - please select device"), d.windowTitle());
    EXPECT_EQ(std::vector{TProcessState::psDiscoveredSingle}, recorder.states);
    EXPECT_EQ(QStringList{"TOLA-V 0002 | 00:80:25:AB:CD:02"}, Rows());
    EXPECT_EQ(1, d.DeviceCount());
    EXPECT_EQ(QStringLiteral("TOLA-V 0002"), Name(d.SelectedDevice()));
    EXPECT_EQ(QStringLiteral("00:80:25:AB:CD:02"), Address(d.SelectedDevice()));
    EXPECT_EQ(QStringLiteral("TOLA-V 0002#00:80:25:AB:CD:02"), settings.BluetoothDevice);
    EXPECT_EQ(TfrmDiscover::mrOk, d.PendingModalResult());
    EXPECT_TRUE(d.lvDevices()->topLevelItem(0)->isSelected());
    EXPECT_TRUE(d.btnDiscSearch()->isEnabled());
    EXPECT_TRUE(d.btnDiscCancel()->isEnabled());
}

TEST_F(DiscoverDialog, AutomationSearchesAndClosesWithTheDeviceModally) {
    Search().devices = {{"TOLA-V 0002", "00:80:25:AB:CD:02"}};
    TfrmDiscover& d = Make();
    // As the automation does: a posted click, and a posted close after the single hit.
    recorder.onReport = [&](TProcessState s) {
        if (s == TProcessState::psDiscoveredSingle) d.PostClose();
    };
    d.PostSearchClick();
    EXPECT_EQ(TfrmDiscover::mrOk, d.ShowModal());
    EXPECT_EQ(QStringLiteral("TOLA-V 0002"), Name(d.SelectedDevice()));
    EXPECT_EQ(QByteArray("TOLA-V 0002#00:80:25:AB:CD:02\r\n"), KnownDevicesFile());
    // Every showing starts with Cancel again.
    QTimer::singleShot(0, &d, [&] { d.PostClose(); });
    EXPECT_EQ(TfrmDiscover::mrCancel, d.ShowModal());
}

TEST_F(DiscoverDialog, CancelAfterASuccessfulSearchStillCancels) {
    Search().devices = {{"TOLA-V 0002", "00:80:25:AB:CD:02"}};
    TfrmDiscover& d = Make();
    recorder.onReport = [&](TProcessState) { QTimer::singleShot(0, d.btnDiscCancel(), &QPushButton::click); };
    d.PostSearchClick();
    EXPECT_EQ(TfrmDiscover::mrCancel, d.ShowModal());
}

TEST_F(DiscoverDialog, SeveralFoundAreMergedIntoTheSortedKnownList) {
    settings.BluetoothDevice = "TOLA-V 0009#00:80:25:AB:CD:09";
    Search().devices = {{"TOLA-V 0003", "00:80:25:AB:CD:03"},
                        {"tola-v 0009", "00:80:25:ab:cd:09"},  // known already, other letters
                        {"Headset", "00:11:22:33:44:55"}};
    TfrmDiscover& d = Make();
    d.show();
    d.btnDiscSearchClick();
    WaitForSearchEnd();
    EXPECT_EQ(std::vector{TProcessState::psDiscoveredMultiple}, recorder.states);
    EXPECT_EQ((QStringList{"Headset | 00:11:22:33:44:55", "TOLA-V 0003 | 00:80:25:AB:CD:03",
                           "TOLA-V 0009 | 00:80:25:AB:CD:09"}),
              Rows());
    EXPECT_EQ(3, d.DeviceCount());
    // Row 0 is not an instrument: nothing is chosen, but the result is OK already.
    EXPECT_EQ(QString(), Name(d.SelectedDevice()));
    EXPECT_EQ(QStringLiteral("TOLA-V 0009#00:80:25:AB:CD:09"), settings.BluetoothDevice);
    EXPECT_EQ(TfrmDiscover::mrOk, d.PendingModalResult());
}

TEST_F(DiscoverDialog, RowZeroIsTheFirstKnownDeviceNotTheOneFound) {
    settings.BluetoothDevice = "TOLA-A#00:80:25:AB:CD:0A";
    Search().devices = {{"TOLA-B", "00:80:25:AB:CD:0B"}};
    TfrmDiscover& d = Make();
    d.show();
    d.btnDiscSearchClick();
    WaitForSearchEnd();
    EXPECT_EQ(std::vector{TProcessState::psDiscoveredSingle}, recorder.states);
    EXPECT_EQ(QStringLiteral("TOLA-A"), Name(d.SelectedDevice()));
    EXPECT_EQ(2, d.DeviceCount());
}

TEST_F(DiscoverDialog, NothingFoundIsReportedAsAFailedSearch) {
    settings.BluetoothDevice = "TOLA-A#00:80:25:AB:CD:0A";
    TfrmDiscover& d = Make();
    d.show();
    d.btnDiscSearchClick();
    WaitForSearchEnd();
    EXPECT_EQ(QStringLiteral("Bluetooth - no device found"), d.windowTitle());
    EXPECT_EQ(std::vector{TProcessState::psDiscoverFailed}, recorder.states);
    EXPECT_TRUE(Rows().isEmpty());
    EXPECT_EQ(0, d.DeviceCount());
    EXPECT_TRUE(d.btnDiscSearch()->isEnabled());
    EXPECT_TRUE(d.btnDiscCancel()->isEnabled());
    EXPECT_FALSE(d.Panel1()->isVisible());
    EXPECT_EQ(TfrmDiscover::mrCancel, d.PendingModalResult());
}

TEST_F(DiscoverDialog, AFailedSearchSaysSoAndReportsNothing) {
    Search().result = 0;
    Search().devices = {{"TOLA-V 0002", "00:80:25:AB:CD:02"}};
    TfrmDiscover& d = Make();
    d.show();
    d.btnDiscSearchClick();
    WaitForSearchEnd();
    EXPECT_EQ(QStringLiteral("Bluetooth - search for devices failed"), d.windowTitle());
    EXPECT_TRUE(recorder.states.empty());
    EXPECT_TRUE(Rows().isEmpty());
    EXPECT_TRUE(d.btnDiscSearch()->isEnabled());
    EXPECT_TRUE(d.btnDiscCancel()->isEnabled());
    EXPECT_FALSE(d.Panel1()->isVisible());
}

TEST_F(DiscoverDialog, NoLibraryIsAFailedSearch) {
    TfrmDiscover& d = DiscoverDialogFixture::Make(CommApi());
    d.show();
    d.btnDiscSearchClick();
    WaitForSearchEnd();
    EXPECT_EQ(QStringLiteral("Bluetooth - search for devices failed"), d.windowTitle());
    EXPECT_EQ(0, Search().calls);
}

TEST_F(DiscoverDialog, ClickingARowChoosesOnlyInstrumentsNamedTola) {
    Search().devices = {{"Headset", "00:11:22:33:44:55"},
                        {"tola lower case", "00:11:22:33:44:66"},
                        {"TOLA-V 0004", "00:80:25:AB:CD:04"}};
    TfrmDiscover& d = Make();
    d.show();
    d.btnDiscSearchClick();
    WaitForSearchEnd();
    ASSERT_EQ(3, Rows().size());

    ClickRow(0);  // Headset
    EXPECT_TRUE(d.isVisible());
    EXPECT_FALSE(d.btnDiscConnect()->isEnabled());
    ClickRow(1);  // lower case
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(QString(), Name(d.SelectedDevice()));

    ClickRow(2);
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(TfrmDiscover::mrOk, d.result());
    EXPECT_EQ(QStringLiteral("TOLA-V 0004"), Name(d.SelectedDevice()));
    EXPECT_EQ(QStringLiteral("TOLA-V 0004#00:80:25:AB:CD:04"), settings.BluetoothDevice);
    EXPECT_EQ(3, d.DeviceCount());
    // Sorted ignoring case: "tola " comes before "TOLA-".
    EXPECT_EQ(QStringLiteral("tola lower case"), d.DeviceName(1));
    EXPECT_EQ(QStringLiteral("00:80:25:AB:CD:04"), d.DeviceAddress(2));
    EXPECT_TRUE(d.lvDevices()->selectedItems().isEmpty());  // cleared on closing
}

TEST_F(DiscoverDialog, ClickBelowTheRowsChoosesNothing) {
    Search().devices = {{"TOLA-V 0002", "00:80:25:AB:CD:02"}};
    TfrmDiscover& d = Make();
    d.show();
    d.btnDiscSearchClick();
    WaitForSearchEnd();
    ASSERT_TRUE(d.lvDevices()->topLevelItem(0)->isSelected());

    QTreeWidget* lv = d.lvDevices();
    const QRect last = lv->visualItemRect(lv->topLevelItem(0));
    const QPoint below(last.center().x(), last.bottom() + 20);
    ASSERT_LT(below.y(), lv->viewport()->height());
    QTest::mouseClick(lv->viewport(), Qt::LeftButton, {}, below);
    EXPECT_TRUE(d.isVisible());
    EXPECT_TRUE(lv->selectedItems().isEmpty());
    EXPECT_EQ(QString(), Name(d.SelectedDevice()));
    EXPECT_FALSE(d.btnDiscConnect()->isEnabled());

    // The row itself still chooses the instrument.
    ClickRow(0);
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(TfrmDiscover::mrOk, d.result());
    EXPECT_EQ(QStringLiteral("TOLA-V 0002"), Name(d.SelectedDevice()));
}

TEST_F(DiscoverDialog, StoredDeviceIsNotChosenByAClickBelowIt) {
    settings.BluetoothDevice = "TOLA-V 0009#00:80:25:AB:CD:09";
    TfrmDiscover& d = Make();
    d.show();
    QTreeWidget* lv = d.lvDevices();
    const QRect row = lv->visualItemRect(lv->topLevelItem(0));
    QTest::mouseClick(lv->viewport(), Qt::LeftButton, {}, QPoint(row.center().x(), row.bottom() + 20));
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(QString(), Name(d.SelectedDevice()));
    EXPECT_EQ(TfrmDiscover::mrCancel, d.PendingModalResult());
}

TEST_F(DiscoverDialog, PostedSearchClickOfAClosedDialogStartsNoSearch) {
    Search().devices = {{"TOLA-V 0002", "00:80:25:AB:CD:02"}};
    settings.BluetoothDevice = "TOLA-V 0009#00:80:25:AB:CD:09";
    TfrmDiscover& d = Make();
    d.show();
    d.PostSearchClick();
    d.btnDiscCancel()->click();  // the user was quicker
    QCoreApplication::processEvents();
    EXPECT_FALSE(d.SearchRunning());
    EXPECT_EQ(0, Search().calls);
    EXPECT_TRUE(recorder.states.empty());
    EXPECT_EQ(QStringLiteral("TOLA-V 0009#00:80:25:AB:CD:09"), settings.BluetoothDevice);
}

TEST_F(DiscoverDialog, LongNamesAndAddressesAreCutToFiftyCharacters) {
    const std::string name = "TOLA-" + std::string(49, 'n');     // 54 characters
    const std::string address = std::string(50, 'a') + "BCDEF";   // 55 characters
    Search().devices = {{name, address}};
    TfrmDiscover& d = Make();
    d.show();
    d.btnDiscSearchClick();
    WaitForSearchEnd();
    EXPECT_EQ(QString::fromStdString(name.substr(0, 50)), Name(d.SelectedDevice()));
    EXPECT_EQ(QString::fromStdString(address.substr(0, 50)), Address(d.SelectedDevice()));
}

TEST_F(DiscoverDialog, DeleteAndClearTheKnownList) {
    Search().devices = {{"TOLA-1", "A1"}, {"TOLA-2", "A2"}, {"TOLA-3", "A3"}};
    TfrmDiscover& d = Make();
    d.show();
    d.btnDiscSearchClick();
    WaitForSearchEnd();

    d.lvDevices()->setCurrentItem(d.lvDevices()->topLevelItem(1));
    d.btnDiscDeleteClick();
    EXPECT_EQ((QStringList{"TOLA-1 | A1", "TOLA-3 | A3"}), Rows());
    EXPECT_FALSE(d.btnDiscConnect()->isEnabled());

    // The chosen device after the search is row 0.
    d.RemoveSelectedDeviceFromList();
    EXPECT_EQ(QStringList{"TOLA-3 | A3"}, Rows());
    EXPECT_EQ(QStringList{"TOLA-3#A3"}, d.KnownDeviceList().Entries());

    d.btnDiscDeleteAllClick();
    EXPECT_TRUE(Rows().isEmpty());
    d.close();
    EXPECT_EQ(QByteArray(), KnownDevicesFile());
}

TEST_F(DiscoverDialog, KnownDevicesFileHoldsTheWholeListAtClose) {
    settings.BluetoothDevice = "(00:80:25:AB:CD:09)#TOLA-V 0009";
    Search().devices = {{"TOLA-V 0003", "00:80:25:AB:CD:03"}, {"Caf\xE9", "00:11"}};
    TfrmDiscover& d = Make();
    d.show();
    d.btnDiscSearchClick();
    WaitForSearchEnd();
    d.btnDiscCancelClick();
    EXPECT_EQ(TfrmDiscover::mrCancel, d.result());
    EXPECT_EQ(QByteArray("Caf\xE9#00:11\r\nTOLA-V 0003#00:80:25:AB:CD:03\r\nTOLA-V 0009#(00:80:25:AB:CD:09)\r\n"),
              KnownDevicesFile());
}

TEST_F(DiscoverDialog, AFileThatCannotBeWrittenIsReportedAndTheDialogStillCloses) {
    dataDir.remove();  // the data folder vanished
    Search().devices = {{"TOLA-V 0002", "00:80:25:AB:CD:02"}};
    TfrmDiscover& d = Make();
    recorder.onReport = [&](TProcessState) { d.PostClose(); };
    d.PostSearchClick();
    EXPECT_EQ(TfrmDiscover::mrOk, d.ShowModal());
    ASSERT_EQ(1u, errorBoxes.size());
    EXPECT_TRUE(errorBoxes[0].contains(QStringLiteral("BtKnownDevices.txt"))) << errorBoxes[0].toStdString();
    EXPECT_EQ(QStringLiteral("TOLA-V 0002"), Name(d.SelectedDevice()));
}

TEST_F(DiscoverDialog, EscapeIsCancelButNotWhileSearching) {
    Search().devices = {{"TOLA-V 0002", "00:80:25:AB:CD:02"}};
    Search().Hold();
    TfrmDiscover& d = Make();
    d.show();
    d.btnDiscSearchClick();
    QTest::keyClick(&d, Qt::Key_Escape);
    EXPECT_TRUE(d.isVisible());
    Search().Release();
    WaitForSearchEnd();
    QTest::keyClick(&d, Qt::Key_Escape);
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(TfrmDiscover::mrCancel, d.result());
}

TEST_F(DiscoverDialog, PlacementIsKeptInTheSettingsStore) {
    TfrmDiscover& d = Make();
    d.show();
    d.move(40, 50);
    d.resize(d.width(), 300);
    d.close();
    dialog.reset();
    TfrmDiscover& again = Make();
    EXPECT_EQ(QPoint(40, 50), again.pos());
    EXPECT_EQ(300, again.height());
}

}  // namespace
}  // namespace ckupdate::testing
