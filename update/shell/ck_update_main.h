// The main window (TfrmMain): loads the communication library, shows the
// connected instrument in its status bar, offers the large update button and
// the menus for connecting over Bluetooth or to one of several USB instruments,
// for the firmware choice of the service mode, the licence text and the About
// box.  It never opens or closes
// the instrument itself: it posts jobs to its connection thread, which its
// poll timer paces, and its automation thread drives the windows at start.
#pragma once

#include "update/binding/comm_binding.h"
#include "update/config/settings_store.h"
#include "update/firmware/ck_update_engine.h"
#include "update/firmware/update_view.h"
#include "update/shell/connection_thread.h"
#include "update/device/device_connection.h"
#include "update/device/instrument_survey.h"
#include "update/shell/po_msg_thread.h"
#include "update/shell/update_reservation.h"
#include "update/device/process_state.h"

#include <QMainWindow>
#include <QStringList>

#include <atomic>
#include <memory>

class QAction;
class QActionGroup;
class QFrame;
class QLabel;
class QMenu;
class QPushButton;
class QTimer;

namespace ckupdate {

class TfrmAbout;
class TfrmHTMViewer;
class TfrmPDFViewer;
class TfrmRTFViewer;
class TfrmCkUpdate;
class TfrmDiscover;

// What the program starts with.
struct TProgramStart {
    QStringList arguments;  // the command line, program first
    QString programPath;    // the program file (language override, version, folder)
    // The library loader; none: the system's (tests hand in their own).
    std::unique_ptr<CommBinding> binding;
};

// The other windows, created after the main window.
struct TProgramWindowRefs {
    TfrmAbout* frmAbout = nullptr;
    TfrmHTMViewer* frmHTMViewer = nullptr;
    TfrmPDFViewer* frmPDFViewer = nullptr;
    TfrmRTFViewer* frmRTFViewer = nullptr;
    TfrmCkUpdate* frmCkUpdate = nullptr;
    TfrmDiscover* frmDiscover = nullptr;
};

inline constexpr int kPollIntervalMs = 2000;
inline constexpr int kPollSoonMs = 100;
inline constexpr int kWatchIntervalMs = 500;

class TfrmMain : public QMainWindow,
                 public UpdateHost,
                 public ConnectionObserver,
                 public ProcessStateReceiver,
                 public ConnectionThreadHost,
                 public AutomationHost,
                 public UpdateReservation {
    Q_OBJECT
public:
    explicit TfrmMain(TProgramStart start, QWidget* parent = nullptr);
    ~TfrmMain() override;

    void SetWindows(const TProgramWindowRefs& windows);

    // Operations offered to the other windows and threads.
    void StatusPollTimerResume() override;
    void StatusPollTimerSuspend();
    void StopStatusPolling() override;
    void SetPoMsgThreadState(TProcessState state) override;
    bool USBWatchIdle() const { return (connection_.JobFlags() & job::kWatchIdle) != 0; }
    void SetUSBWatchIdle(bool idle) override;
    void SetUpdateButtonCaption(const QString& release) override;
    PXM_COMM& PortData() override { return connection_.PortData(); }
    std::int32_t OpenDev() override { return connection_.OpenDev(); }
    void CloseDev() override { connection_.CloseDev(); }
    InstrumentIdentity Identity() override { return connection_.Identity(); }
    SearchLimit Limit() const override { return connection_.Limit(); }
    void SetSearchLimit(const SearchLimit& limit) override { connection_.SetSearchLimit(limit); }
    TDeviceConnection& Connection() override { return connection_; }
    std::uint32_t PendingPort() const override { return f_PendingPort.load(); }
    // On the connection thread: the survey of the USB instruments before an
    // open, and the user's choice when several answer (see main_menus.cpp).
    bool MayOpenUsb() override;
    void ChooseUsbInstrument() override;

    // UpdateReservation: the update dialog's engine alone uses the connection
    // from the press of "Run" until the update has ended.
    bool ReserveForUpdate(const TDeviceInfo& shown, TDeviceInfo& current) override;
    void ReleaseAfterUpdate() override;
    bool ReservedForUpdate() const { return update_reserved_.load(); }

    // State, for the other windows and the tests.
    ProgramSettings& Settings() { return settings_; }
    const ProgramEnvironment& Environment() const { return environment_; }
    const QString& ProgramPath() const { return program_path_; }
    CommBinding& Binding() { return *binding_; }
    CommApi Api() const { return binding_->Api(); }
    const TDeviceInfo& DevInfo() const { return f_DevInfo; }
    const BT_DEVICES& BtDevices() const { return *f_BtDevices; }
    TConnectionThread* ConnectionThread() const { return FConnectionThread.get(); }
    TPoMsgThread* PoMsgThread() const { return FPoMsgThread.get(); }
    const TProgramWindowRefs& Windows() const { return windows_; }

    // The controls.
    QPushButton* bbtnCKUpdate() const { return bbtnCKUpdate_; }
    QLabel* lblDevice() const { return lblDevice_; }
    QLabel* lblSerial() const { return lblSerial_; }
    QLabel* lblFirmware() const { return lblFirmware_; }
    QLabel* lblInterface() const { return lblInterface_; }
    QLabel* lblCKPDll() const { return lblCKPDll_; }
    QLabel* lblDllStatus() const { return lblDllStatus_; }
    // What an earlier update left unfinished for the connected instrument (hidden when nothing).
    QLabel* lblPending() const { return lblPending_; }
    QTimer* tmrPollConnectionStatus() const { return tmrPollConnectionStatus_; }
    QTimer* tmrWatchControl() const { return tmrWatchControl_; }
    QMenu* mmFirmware() const { return mmFirmware_; }
    QAction* smFW0() const { return smFW0_; }
    QMenu* smExtraLang() const { return smExtraLang_; }
    QAction* ssmExtraLangGER() const { return ssmExtraLangGER_; }
    QAction* ssmExtraLangENG() const { return ssmExtraLangENG_; }
    QAction* ssmExtraLangFRA() const { return ssmExtraLangFRA_; }
    QAction* smExtraConnectSelectBTD() const { return smExtraConnectSelectBTD_; }
    QAction* smExtraConnectBT() const { return smExtraConnectBT_; }
    QAction* smExtraChooseInstrument() const { return smExtraChooseInstrument_; }
    QAction* smExtraDisconnect() const { return smExtraDisconnect_; }
    QAction* smExtraVerify() const { return smExtraVerify_; }
    QAction* smInfoAbout() const { return smInfoAbout_; }
    QAction* smInfoEula() const { return smInfoEula_; }
    QAction* smInfoConnectionCheck() const { return smInfoConnectionCheck_; }
    QAction* smFileExit() const { return smFileExit_; }
    // The catalog items of the Firmware menu (service mode, after the first show).
    QList<QAction*> FirmwareItems() const;

    // The licence command's display step: picks the viewer by the extension.
    void ShowDocument(const QString& fileName);

    // ConnectionObserver: called by OpenDev and CloseDev on any thread; the
    // displays are updated on the window's thread.
    void ShowConnected() override;
    void ShowDisconnected() override;
    void SetBusyCursor(bool busy) override;
    void EnableConnectMenus() override;

    // AutomationHost.
    void PostDiscoverMenuCommand() override;
    void PostDiscoverSearchClick() override;
    void PostDiscoverClose() override;
    void PostUpdateButtonClick() override;

signals:
    // The window has closed: the program ends.
    void Closed();

public slots:
    void bbtnCKUpdateClick();
    void smFileExitClick();
    void smExtraConnectSelectBTDClick();
    void smExtraConnectDevClick(QAction* item);
    void smExtraChooseInstrumentClick();
    void smExtraDisconnectClick();
    void smExtraVerifyClick(bool checked);
    void smExtraPreviousFirmwareClick();
    void smInfoAboutClick();
    void smInfoEulaClick();
    void smInfoConnectionCheckClick();
    void smFW0Click();
    void FirmwareItemClick(QAction* item);
    void SwitchLanguage(const QString& code);
    void tmrPollConnectionStatusTimer();
    void tmrWatchControlTimer();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    struct Snapshot {
        PXM_COMM port;
        TDeviceInfo info;
    };

    void CreateControls();
    void CreateMenus();
    void SetTexts();
    void FormCreate();
    void FormShow();
    void LoadLibrary();
    void BuildFirmwareMenu();
    void ApplyConnected(const Snapshot& s);
    void ShowPending(const TDeviceInfo& info);
    void ApplyDisconnected(const Snapshot& s);
    // Asks which of the surveyed instruments to connect (`asked`: the user
    // asked for the choice) and sets the search limit and the next job.
    void OfferInstruments(const std::vector<SurveyedInstrument>& found, bool asked);
    void EnablePollTimer();
    void PollSoon();
    UpdateOptions CurrentUpdateOptions() const;
    // True (and traced) when an update has the connection: the action is refused.
    bool RefusedWhileUpdating(const char* action);
    QString Title() const;
    template <typename F>
    void Post(F&& f);
    template <typename F>
    void Guarded(F&& f);

    TProgramWindowRefs windows_;
    std::unique_ptr<CommBinding> binding_;
    ProgramSettings settings_;
    ProgramEnvironment environment_;
    QStringList arguments_;
    QString program_path_;

    TDeviceConnection connection_;
    // The survey's own record: its opens neither report to the window nor set
    // the program's job flags.
    TDeviceConnection survey_connection_;
    // A choice is offered: no open over USB until it is answered.
    std::atomic<bool> choosing_{false};
    // The instrument shown and its port when the user asked for the choice.
    QString serial_before_choice_;
    std::uint32_t port_before_choice_ = kPortUsb;
    std::unique_ptr<TConnectionThread> FConnectionThread;
    std::unique_ptr<TPoMsgThread> FPoMsgThread;
    TDeviceInfo f_DevInfo;
    bool f_bFirstShow = true;
    std::atomic<std::uint32_t> f_PendingPort{kPortUsb};
    std::unique_ptr<BT_DEVICES> f_BtDevices;
    QString update_button_release_;
    std::atomic<bool> poll_stopped_{false};
    std::atomic<bool> update_reserved_{false};
    bool closed_ = false;

    QFrame* pnlCKUpdate_ = nullptr;
    QPushButton* bbtnCKUpdate_ = nullptr;
    QFrame* pnlStatus_ = nullptr;
    QFrame* pnlDevice_ = nullptr;
    QFrame* pnlFirmware_ = nullptr;
    QFrame* pnlDll_ = nullptr;
    QLabel* lblDevice_ = nullptr;
    QLabel* lblSerial_ = nullptr;
    QLabel* lblFirmware_ = nullptr;
    QLabel* lblInterface_ = nullptr;
    QLabel* lblCKPDll_ = nullptr;
    QLabel* lblDllStatus_ = nullptr;
    QLabel* lblPending_ = nullptr;
    QTimer* tmrPollConnectionStatus_ = nullptr;
    QTimer* tmrWatchControl_ = nullptr;

    QMenu* mmFile_ = nullptr;
    QAction* smFileExit_ = nullptr;
    QMenu* mmExtra_ = nullptr;
    QMenu* smExtraLang_ = nullptr;
    QActionGroup* languageGroup_ = nullptr;
    QAction* ssmExtraLangGER_ = nullptr;
    QAction* ssmExtraLangENG_ = nullptr;
    QAction* ssmExtraLangFRA_ = nullptr;
    QMenu* smExtraConnect_ = nullptr;
    QAction* smExtraConnectSelectBTD_ = nullptr;
    QAction* smExtraConnectBT_ = nullptr;
    QAction* smExtraChooseInstrument_ = nullptr;
    QActionGroup* connectGroup_ = nullptr;
    QAction* smExtraDisconnect_ = nullptr;
    QAction* smExtraVerify_ = nullptr;
    QAction* smExtraPreviousFirmware_ = nullptr;
    QMenu* mmFirmware_ = nullptr;
    QActionGroup* firmwareGroup_ = nullptr;
    QAction* smFW0_ = nullptr;
    QAction* chosen_firmware_item_ = nullptr;  // the ticked item before "Read firmware file"
    QMenu* mmInfo_ = nullptr;
    QAction* smInfoAbout_ = nullptr;
    QAction* smInfoEula_ = nullptr;
    QAction* smInfoConnectionCheck_ = nullptr;
};

}  // namespace ckupdate
