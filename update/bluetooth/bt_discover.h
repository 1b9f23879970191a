// The Bluetooth discovery dialog: shows the known instruments, searches for
// instruments in range on a worker thread, and hands the chosen instrument
// (name and address) to the main window.  Reports the outcome of a search to
// the main window's automation, which may press Search and close the dialog.
#pragma once

#include "update/binding/comm_api.h"
#include "update/bluetooth/known_devices.h"
#include "update/config/settings_store.h"
#include "update/device/process_state.h"

#include <QDialog>
#include <QString>

#include <memory>

class QFrame;
class QProgressBar;
class QPushButton;
class QTreeWidget;

namespace ckupdate {

class TDiscoverThread;

class TfrmDiscover : public QDialog {
    Q_OBJECT
public:
    // The modal results the dialog closes with.
    static constexpr int mrOk = 1;
    static constexpr int mrCancel = 2;

    // settings: the program's settings, whose "BluetoothDevice" the dialog reads
    // at creation and updates whenever a device is chosen; they must outlive the
    // dialog.  dataFolder: the program's main data folder; empty takes
    // CheckMainAppDataDir("").
    TfrmDiscover(CommApi api, ProgramSettings& settings, QWidget* parent = nullptr, const QString& dataFolder = {});
    ~TfrmDiscover() override;

    void SetCommApi(CommApi api) { api_ = api; }
    // The main window's automation; none by default.
    void SetProcessStateReceiver(ProcessStateReceiver* receiver) { receiver_ = receiver; }

    // Number of rows when a choice was last made; 0 after a search starts.
    int DeviceCount() const { return f_DeviceCount; }
    // The chosen device (empty texts when none).
    const BT_DEVICE& SelectedDevice() const { return f_Device; }
    // Name and address of list row idx when idx < DeviceCount(), else empty.
    QString DeviceName(int idx) const { return GetDeviceNameList(idx); }
    QString DeviceAddress(int idx) const { return GetDeviceAddressList(idx); }
    QString GetDeviceNameList(int idx) const;
    QString GetDeviceAddressList(int idx) const;

    // Removes the entry of the chosen device from the known list and refreshes the list.
    void RemoveSelectedDeviceFromList();

    const TKnownDeviceList& KnownDeviceList() const { return f_KnownDeviceList; }
    const QString& KnownDevicesFileName() const { return f_KnownDevicesFileName; }
    // True from Search until the end of the search has been handled.
    bool SearchRunning() const;
    // The result the dialog closes with (mrOk or mrCancel).
    int PendingModalResult() const { return f_ModalResult; }

    // Shows the dialog modally; mrOk when a device was chosen, mrCancel otherwise.
    int ShowModal();

    // For the automation thread; safe to call from any thread: each queues its
    // work to the dialog's thread.  A click of a disabled Search does nothing,
    // as a click on the button would; a close is refused while a search runs.
    void PostSearchClick();
    void PostClose();

    // The controls, for the program's tests and screenshots.
    QTreeWidget* lvDevices() const { return lvDevices_; }
    QFrame* Panel1() const { return Panel1_; }
    QProgressBar* pbDiscovery() const { return pbDiscovery_; }
    QPushButton* btnDiscSearch() const { return btnDiscSearch_; }
    QPushButton* btnDiscCancel() const { return btnDiscCancel_; }
    QPushButton* btnDiscConnect() const { return btnDiscConnect_; }
    QPushButton* btnDiscDelete() const { return btnDiscDelete_; }
    QPushButton* btnDiscDeleteAll() const { return btnDiscDeleteAll_; }

public slots:
    void btnDiscSearchClick();
    void btnDiscCancelClick();
    void btnDiscConnectClick();
    void btnDiscDeleteClick();
    void btnDiscDeleteAllClick();
    void lvDevicesClick();

    // Ends a search: success runs DiscoveryComplete, failure shows the failed title.
    void SetDiscoveredState(bool ASuccessState);

    // Every close ends here: refused while a search runs; otherwise the
    // placement is stored, the finished thread freed, the known list written,
    // and the dialog closes with the pending modal result whatever r says.
    void done(int r) override;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    bool FormCloseQuery() const;
    void FormClose();
    void DiscoveryComplete();
    void FillListView();
    void SetTitle(const QString& suffix);
    void SetConnectDeleteEnabled(bool enabled);
    void SetSearchCursor(bool busy);
    void TakeDevice(const QString& name, const QString& address);
    void ClearDevice();
    void Report(TProcessState state);

    CommApi api_;
    ProgramSettings& settings_;
    ProcessStateReceiver* receiver_ = nullptr;

    std::unique_ptr<TDiscoverThread> f_DiscoverThread;
    bool f_SearchEnded = true;  // the end of the last search has been handled
    BT_DEVICE f_Device{};
    int f_DeviceCount = 0;
    std::unique_ptr<BT_DEVICES> f_BtDevices;
    TKnownDeviceList f_KnownDeviceList;
    int f_ModalResult = mrCancel;
    QString f_KnownDevicesFileName;

    QTreeWidget* lvDevices_ = nullptr;
    QFrame* Panel1_ = nullptr;
    QProgressBar* pbDiscovery_ = nullptr;
    QPushButton* btnDiscSearch_ = nullptr;
    QPushButton* btnDiscCancel_ = nullptr;
    QPushButton* btnDiscConnect_ = nullptr;
    QPushButton* btnDiscDelete_ = nullptr;
    QPushButton* btnDiscDeleteAll_ = nullptr;
};

}  // namespace ckupdate
