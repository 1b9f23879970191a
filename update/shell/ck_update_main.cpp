#include "update/shell/ck_update_main.h"

#include "update/bluetooth/bt_discover.h"
#include "update/firmware/firmware_catalog.h"
#include "update/firmware/stored_settings.h"
#include "update/firmware/update_history.h"
#include "update/firmware/update_workflow.h"
#include "update/shell/ck_update_dialog.h"
#include "update/shell/interface_section.h"
#include "update/shell/pictures.h"
#include "update/shell/shell_trace.h"
#include "update/widgets/error_box.h"
#include "update/widgets/window_placement.h"
#include "update/widgets/windows1252.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <cstring>

namespace ckupdate {
namespace {

QString FieldText(const TNAME& field) { return FromWindows1252(field, ::strnlen(field, sizeof(TNAME))); }

// The identity as the windows show it: the release as the status bar shows it.
TDeviceInfo IdentityOf(const PXM_COMM& port, const TDeviceInfo& info) {
    TDeviceInfo identity = info;
    identity.FirmwareVersion = FieldText(port.snVersion);
    return identity;
}

QLabel* StatusLabel(QWidget* parent, const char* name) {
    auto* l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    l->setTextFormat(Qt::PlainText);
    return l;
}

QFrame* StatusPanel(QWidget* parent, const char* name, QLabel* top, QLabel* bottom) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(QLatin1String(name));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(6, 3, 6, 3);
    column->setSpacing(2);
    top->setParent(panel);
    bottom->setParent(panel);
    column->addWidget(top);
    column->addWidget(bottom);
    return panel;
}

}  // namespace

TfrmMain::TfrmMain(TProgramStart start, QWidget* parent)
    : QMainWindow(parent),
      binding_(start.binding ? std::move(start.binding) : std::make_unique<CommBinding>()),
      arguments_(std::move(start.arguments)),
      program_path_(std::move(start.programPath)),
      connection_(binding_->Api(), this),
      survey_connection_(binding_->Api()),
      f_BtDevices(std::make_unique<BT_DEVICES>()) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowIcon(ProgramIcon());
    CreateControls();
    CreateMenus();
    FormCreate();
}

TfrmMain::~TfrmMain() {
    // Threads that still run (the window was never closed) end before the
    // record and the library they use go away.
    for (QTimer* t : {tmrPollConnectionStatus_, tmrWatchControl_}) t->stop();
    FConnectionThread.reset();
    FPoMsgThread.reset();
    connection_.SetObserver(nullptr);
}

void TfrmMain::SetWindows(const TProgramWindowRefs& windows) {
    windows_ = windows;
    if (windows_.frmDiscover != nullptr) windows_.frmDiscover->SetProcessStateReceiver(this);
    if (windows_.frmCkUpdate != nullptr) {
        windows_.frmCkUpdate->SetDeviceInfo(f_DevInfo);
        windows_.frmCkUpdate->SetOptions(CurrentUpdateOptions());
    }
}

// --- layout ---

void TfrmMain::CreateControls() {
    auto* client = new QWidget(this);
    auto* stack = new QVBoxLayout(client);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);

    pnlCKUpdate_ = new QFrame(client);
    pnlCKUpdate_->setObjectName(QStringLiteral("pnlCKUpdate"));
    auto* updateRow = new QVBoxLayout(pnlCKUpdate_);
    updateRow->setContentsMargins(12, 12, 12, 12);
    bbtnCKUpdate_ = new QPushButton(pnlCKUpdate_);
    bbtnCKUpdate_->setObjectName(QStringLiteral("bbtnCKUpdate"));
    QFont big = bbtnCKUpdate_->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.6);
    bbtnCKUpdate_->setFont(big);
    bbtnCKUpdate_->setIcon(QIcon(DrawUpdateButtonPicture(128)));
    bbtnCKUpdate_->setIconSize(QSize(72, 72));
    bbtnCKUpdate_->setMinimumHeight(150);
    bbtnCKUpdate_->setEnabled(false);
    updateRow->addWidget(bbtnCKUpdate_);
    lblPending_ = new QLabel(pnlCKUpdate_);
    lblPending_->setObjectName(QStringLiteral("lblPending"));
    lblPending_->setWordWrap(true);
    lblPending_->setTextFormat(Qt::PlainText);
    lblPending_->hide();
    updateRow->addWidget(lblPending_);
    stack->addWidget(pnlCKUpdate_);

    pnlStatus_ = new QFrame(client);
    pnlStatus_->setObjectName(QStringLiteral("pnlStatus"));
    auto* status = new QHBoxLayout(pnlStatus_);
    status->setContentsMargins(2, 2, 2, 2);
    status->setSpacing(2);
    lblDevice_ = StatusLabel(pnlStatus_, "lblDevice");
    lblSerial_ = StatusLabel(pnlStatus_, "lblSerial");
    lblFirmware_ = StatusLabel(pnlStatus_, "lblFirmware");
    lblInterface_ = StatusLabel(pnlStatus_, "lblInterface");
    lblCKPDll_ = StatusLabel(pnlStatus_, "lblCKPDll");
    lblDllStatus_ = StatusLabel(pnlStatus_, "lblDllStatus");
    pnlDevice_ = StatusPanel(pnlStatus_, "pnlDevice", lblDevice_, lblSerial_);
    pnlFirmware_ = StatusPanel(pnlStatus_, "pnlFirmware", lblFirmware_, lblInterface_);
    pnlDll_ = StatusPanel(pnlStatus_, "pnlDll", lblCKPDll_, lblDllStatus_);
    status->addWidget(pnlDevice_, 5);
    status->addWidget(pnlFirmware_, 4);
    status->addWidget(pnlDll_, 4);
    stack->addWidget(pnlStatus_);
    setCentralWidget(client);

    tmrPollConnectionStatus_ = new QTimer(this);
    tmrPollConnectionStatus_->setObjectName(QStringLiteral("tmrPollConnectionStatus"));
    tmrPollConnectionStatus_->setInterval(kPollIntervalMs);
    tmrWatchControl_ = new QTimer(this);
    tmrWatchControl_->setObjectName(QStringLiteral("tmrWatchControl"));
    tmrWatchControl_->setInterval(kWatchIntervalMs);
    connect(tmrPollConnectionStatus_, &QTimer::timeout, this, &TfrmMain::tmrPollConnectionStatusTimer);
    connect(tmrWatchControl_, &QTimer::timeout, this, &TfrmMain::tmrWatchControlTimer);
    connect(bbtnCKUpdate_, &QPushButton::clicked, this, &TfrmMain::bbtnCKUpdateClick);
}

void TfrmMain::CreateMenus() {
    auto action = [this](QMenu* menu, const char* name) {
        auto* a = menu->addAction(QString());
        a->setObjectName(QLatin1String(name));
        return a;
    };
    auto submenu = [this](QMenu* menu, const char* name) {
        auto* m = menu->addMenu(QString());
        m->setObjectName(QLatin1String(name));
        m->menuAction()->setObjectName(QLatin1String(name));
        return m;
    };
    auto top = [this](const char* name) {
        auto* m = menuBar()->addMenu(QString());
        m->setObjectName(QLatin1String(name));
        m->menuAction()->setObjectName(QLatin1String(name));
        return m;
    };

    mmFile_ = top("mmFile");
    smFileExit_ = action(mmFile_, "smFileExit");
    connect(smFileExit_, &QAction::triggered, this, &TfrmMain::smFileExitClick);

    mmExtra_ = top("mmExtra");
    smExtraLang_ = submenu(mmExtra_, "smExtraLang");
    languageGroup_ = new QActionGroup(this);
    ssmExtraLangGER_ = action(smExtraLang_, "ssmExtraLangGER");
    ssmExtraLangENG_ = action(smExtraLang_, "ssmExtraLangENG");
    ssmExtraLangFRA_ = action(smExtraLang_, "ssmExtraLangFRA");
    for (QAction* a : {ssmExtraLangGER_, ssmExtraLangENG_, ssmExtraLangFRA_}) {
        a->setCheckable(true);
        languageGroup_->addAction(a);
    }
    ssmExtraLangFRA_->setVisible(false);
    smExtraLang_->menuAction()->setVisible(false);
    connect(ssmExtraLangGER_, &QAction::triggered, this, [this] { SwitchLanguage(QStringLiteral("de-DE")); });
    connect(ssmExtraLangENG_, &QAction::triggered, this, [this] { SwitchLanguage(QStringLiteral("ENU")); });
    connect(ssmExtraLangFRA_, &QAction::triggered, this, [this] { SwitchLanguage(QStringLiteral("FRA")); });

    smExtraConnect_ = submenu(mmExtra_, "smExtraConnect");
    smExtraConnectSelectBTD_ = action(smExtraConnect_, "smExtraConnectSelectBTD");
    smExtraConnect_->addSeparator()->setObjectName(QStringLiteral("N5"));
    // Not first in the menu: the automation triggers the first item (the search).
    smExtraChooseInstrument_ = action(smExtraConnect_, "smExtraChooseInstrument");
    smExtraConnectBT_ = action(smExtraConnect_, "smExtraConnectBT");
    smExtraConnectBT_->setCheckable(true);
    smExtraConnectBT_->setEnabled(false);
    connectGroup_ = new QActionGroup(this);
    connectGroup_->addAction(smExtraConnectBT_);
    smExtraDisconnect_ = action(smExtraConnect_, "smExtraDisconnect");
    smExtraDisconnect_->setEnabled(false);
    connect(smExtraConnectSelectBTD_, &QAction::triggered, this, &TfrmMain::smExtraConnectSelectBTDClick);
    connect(smExtraConnectBT_, &QAction::triggered, this, [this] { smExtraConnectDevClick(smExtraConnectBT_); });
    connect(smExtraDisconnect_, &QAction::triggered, this, &TfrmMain::smExtraDisconnectClick);
    connect(smExtraChooseInstrument_, &QAction::triggered, this, &TfrmMain::smExtraChooseInstrumentClick);
    mmExtra_->addSeparator();
    smExtraVerify_ = action(mmExtra_, "smExtraVerify");
    smExtraVerify_->setCheckable(true);
    connect(smExtraVerify_, &QAction::triggered, this, &TfrmMain::smExtraVerifyClick);
    smExtraPreviousFirmware_ = action(mmExtra_, "smExtraPreviousFirmware");
    connect(smExtraPreviousFirmware_, &QAction::triggered, this, &TfrmMain::smExtraPreviousFirmwareClick);

    mmFirmware_ = top("mmFirmware");
    firmwareGroup_ = new QActionGroup(this);
    smFW0_ = action(mmFirmware_, "smFW0");
    smFW0_->setCheckable(true);
    smFW0_->setVisible(false);
    firmwareGroup_->addAction(smFW0_);
    connect(smFW0_, &QAction::triggered, this, &TfrmMain::smFW0Click);

    mmInfo_ = top("mmInfo");
    smInfoAbout_ = action(mmInfo_, "smInfoAbout");
    smInfoEula_ = action(mmInfo_, "smInfoEula");
    connect(smInfoAbout_, &QAction::triggered, this, &TfrmMain::smInfoAboutClick);
    connect(smInfoEula_, &QAction::triggered, this, &TfrmMain::smInfoEulaClick);
    // A Linux addition: why no instrument is reached (the checks of tolactl doctor).
    smInfoConnectionCheck_ = action(mmInfo_, "smInfoConnectionCheck");
    connect(smInfoConnectionCheck_, &QAction::triggered, this, &TfrmMain::smInfoConnectionCheckClick);
}

void TfrmMain::SetTexts() {
    mmFile_->setTitle(tr("File"));
    smFileExit_->setText(tr("Exit"));
    mmExtra_->setTitle(tr("Extras"));
    smExtraLang_->setTitle(tr("Language"));
    ssmExtraLangGER_->setText(tr("German"));
    ssmExtraLangENG_->setText(tr("English"));
    ssmExtraLangFRA_->setText(tr("French"));
    smExtraConnect_->setTitle(tr("CK connect"));
    smExtraConnectSelectBTD_->setText(tr("Select/search Bluetooth device"));
    smExtraConnectBT_->setText(tr("Via Bluetooth to "));
    smExtraChooseInstrument_->setText(tr("Choose instrument..."));
    smExtraDisconnect_->setText(tr("Disconnect CK"));
    smExtraVerify_->setText(tr("Verify the firmware before completing an update"));
    smExtraPreviousFirmware_->setText(tr("Previous firmware..."));
    mmFirmware_->setTitle(tr("Firmware"));
    smFW0_->setText(tr("Read firmware file"));
    mmInfo_->setTitle(tr("Info"));
    smInfoAbout_->setText(tr("About..."));
    smInfoEula_->setText(tr("License information (EULA)"));
    smInfoConnectionCheck_->setText(tr("Connection check..."));
    setWindowTitle(Title());
    SetUpdateButtonCaption(Firmwares().Selected().snCK_firmware_release);
}

QString TfrmMain::Title() const { return tr("TOLA Chromatik Updater"); }

// --- FormCreate, FormShow ---

void TfrmMain::FormCreate() {
    connection_.SetJobFlags(0);
    FConnectionThread = std::make_unique<TConnectionThread>(*this);
    FPoMsgThread = std::make_unique<TPoMsgThread>(*this);
    environment_ = SettingsStore::LoadSettings(settings_, arguments_, tr("German"));
    SetTexts();
    smExtraVerify_->setChecked(settings_.VerifyBeforeHeader);

    f_bFirstShow = true;
    f_DevInfo.Device = 0;
    f_DevInfo.CpuType = 0;
    mmFirmware_->menuAction()->setVisible(environment_.ServiceMode);
    pnlCKUpdate_->setVisible(true);
    // A fixed-size window without a maximise button; the panels stacked from
    // the top give the client height.
    setWindowFlag(Qt::WindowMaximizeButtonHint, false);
    setFixedSize(qMax(620, sizeHint().width()), sizeHint().height());
    RestoreWindowPos(*this, false);

    *f_BtDevices = BT_DEVICES{};
    connection_.PortData() = PXM_COMM{};
    connection_.PortData().dSize = sizeof(PXM_COMM);
    connection_.PortData().iPort = kPortUsb;
    ApplyDisconnected(Snapshot{connection_.PortData(), f_DevInfo});

    const QString language = GetLanguageOverride(program_path_);
    if (language == QLatin1String("de-DE")) ssmExtraLangGER_->setChecked(true);
    else if (language == QLatin1String("ENU")) ssmExtraLangENG_->setChecked(true);
    else if (language == QLatin1String("FRA")) ssmExtraLangFRA_->setChecked(true);

    lblDllStatus_->setText(tr("State: ") + tr("not loaded"));
    try {
        LoadLibrary();
    } catch (const EProgramError& e) {
        // The rest of the start-up is skipped: no poll timer, no connection.
        ckupdate::ShowErrorBox(nullptr, e.Message());
    }
}

void TfrmMain::LoadLibrary() {
    std::string path;
    const bool loaded = binding_->LoadCommDll(path);
    if (loaded) {
        DLL_VERSION version{};
        binding_->GetCommDllVersion(version);
        lblDllStatus_->setText(tr("Version: ") + FieldText(version.snVersion));
        connection_.SetJobFlags(job::kInitialConnect);
        EnablePollTimer();
    }
    lblCKPDll_->setText(QFileInfo(QString::fromStdString(path)).fileName());
}

void TfrmMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TfrmMain::FormShow() {
    if (f_bFirstShow) {
        f_bFirstShow = false;
        if (environment_.ServiceMode) BuildFirmwareMenu();
        else SetPoMsgThreadState(TProcessState::psInit);
        tmrWatchControl_->start();
        // Only a stored device the dialog could choose (an instrument) is offered.
        if (settings_.BluetoothDevice.size() > 10 && windows_.frmDiscover != nullptr &&
            windows_.frmDiscover->SelectedDevice().snBtAddress[0] != '\0') {
            const BT_DEVICE& device = windows_.frmDiscover->SelectedDevice();
            smExtraConnectBT_->setText(tr("Via Bluetooth to ") + FromWindows1252(device.snBtDeviceName, ::strnlen(device.snBtDeviceName, sizeof device.snBtDeviceName)));
            smExtraConnectBT_->setEnabled(true);
        }
    }
    raise();
    activateWindow();
}

void TfrmMain::BuildFirmwareMenu() {
    smFW0_->setVisible(true);
    const TFirmwares& catalog = Firmwares();
    for (std::uint32_t i = 0; i < catalog.count; ++i) {
        QAction* item = mmFirmware_->addAction(catalog.Version.at(static_cast<qsizetype>(i)));
        item->setObjectName(QStringLiteral("smFW%1").arg(i + 1));
        item->setData(static_cast<int>(i));
        item->setCheckable(true);
        item->setEnabled(true);
        item->setVisible(true);
        firmwareGroup_->addAction(item);
        if (i == catalog.Default) {
            mmFirmware_->setDefaultAction(item);
            item->setChecked(true);
            chosen_firmware_item_ = item;
        }
        connect(item, &QAction::triggered, this, [this, item] { FirmwareItemClick(item); });
    }
}

QList<QAction*> TfrmMain::FirmwareItems() const {
    QList<QAction*> items;
    for (QAction* a : mmFirmware_->actions())
        if (a->data().isValid()) items.append(a);
    return items;
}

// --- status displays ---

template <typename F>
void TfrmMain::Post(F&& f) {
    QMetaObject::invokeMethod(this, std::forward<F>(f), Qt::QueuedConnection);
}

void TfrmMain::ShowConnected() {
    Post([this, s = Snapshot{connection_.PortData(), connection_.DevInfo()}] { ApplyConnected(s); });
}

void TfrmMain::ShowDisconnected() {
    Post([this, s = Snapshot{connection_.PortData(), connection_.DevInfo()}] { ApplyDisconnected(s); });
}

void TfrmMain::SetBusyCursor(bool busy) {
    Post([this, busy] {
        if (busy) setCursor(Qt::WaitCursor);
        else unsetCursor();
    });
}

void TfrmMain::EnableConnectMenus() {
    Post([this] {
        smExtraConnect_->setEnabled(true);
        smExtraDisconnect_->setEnabled(true);
    });
}

// The pending backup of the connected instrument (or the boot loader's
// unfinished update) is named at once: "Run" finishes it before anything else.
void TfrmMain::ShowPending(const TDeviceInfo& info) {
    const QString folder = DefaultSettingsBackupFolder();
    QString text;
    if (info.BootLoader) {
        text = !PendingSettings(folder).isEmpty()
                   ? tr("The instrument answers only as its boot loader: an update was interrupted. \"Run\" completes it.")
                   : tr("The instrument answers only as its boot loader, and no interrupted update is known here.");
    } else if (const auto pending = PendingSettingsFor(folder, info.Serial)) {
        text = tr("The settings of this instrument from the update of %1 (%2 to %3) are not written back yet: \"Run\" "
                  "writes them back first.")
                   .arg(pending->time, pending->fromRelease, pending->toRelease);
    }
    if (!info.Serial.isEmpty() && !DamagedSettingsFor(folder, info.Serial).isEmpty())
        text += (text.isEmpty() ? QString() : QStringLiteral("\n")) +
                tr("A settings backup of this instrument is damaged: \"tolactl settings pending\" lists it.");
    lblPending_->setText(text);
    lblPending_->setVisible(!text.isEmpty());
}

void TfrmMain::ApplyConnected(const Snapshot& s) {
    bbtnCKUpdate_->setEnabled(true);
    if (s.info.BootLoader) {
        const QString none = QStringLiteral("----");
        setWindowTitle(Title() + QStringLiteral(" - ") + tr("boot loader"));
        lblDevice_->setText(tr("Device:") + QLatin1Char(' ') + tr("boot loader (interrupted update)"));
        lblSerial_->setText(tr("Serial:") + QLatin1Char(' ') + none);
        lblInterface_->setText(tr("If-Version:") + QLatin1Char(' ') + none);
        lblFirmware_->setText(tr("Firmware:") + QLatin1Char(' ') + none);
        f_DevInfo = s.info;
        if (windows_.frmCkUpdate != nullptr) windows_.frmCkUpdate->SetDeviceInfo(f_DevInfo);
        ShowPending(f_DevInfo);
        SetPoMsgThreadState(TProcessState::psConnected);
        return;
    }
    setWindowTitle(Title() + QStringLiteral(" - ") + FieldText(s.port.snDevice));
    lblDevice_->setText(tr("Device:") + QLatin1Char(' ') + FieldText(s.port.snDevice));
    const QString serial = FieldText(s.port.snSerial_number);
    lblSerial_->setText(tr("Serial:") + QLatin1Char(' ') + (serial.isEmpty() ? tr("no serial number") : serial));
    lblInterface_->setText(tr("If-Version:") + QLatin1Char(' ') + FieldText(s.port.snInterface));
    lblFirmware_->setText(tr("Firmware:") + QLatin1Char(' ') + FieldText(s.port.snVersion));
    f_DevInfo = IdentityOf(s.port, s.info);
    const bool updating = windows_.frmCkUpdate != nullptr && windows_.frmCkUpdate->UpdateRunning();
    if (windows_.frmCkUpdate != nullptr) windows_.frmCkUpdate->SetDeviceInfo(f_DevInfo);
    // The selection must not change under a running update.
    if (!environment_.ServiceMode && !updating) {
        UpdateWorkflow::SelectDefaultImage(f_DevInfo, false);
        SetUpdateButtonCaption(Firmwares().Selected().snCK_firmware_release);
    }
    ShowPending(f_DevInfo);
    SetPoMsgThreadState(TProcessState::psConnected);
}

void TfrmMain::ApplyDisconnected(const Snapshot& s) {
    const QString none = QStringLiteral("----");
    bbtnCKUpdate_->setEnabled(false);
    setWindowTitle(Title());
    lblDevice_->setText(tr("Device:") + QLatin1Char(' ') + none);
    lblSerial_->setText(tr("Serial:") + QLatin1Char(' ') + none);
    lblInterface_->setText(tr("If-Version:") + QLatin1Char(' ') + none);
    lblFirmware_->setText(tr("Firmware:") + QLatin1Char(' ') + none);
    // No instrument: the update dialog must not keep one that went away.
    f_DevInfo = TDeviceInfo{};
    lblPending_->hide();
    Q_UNUSED(s);
    if (windows_.frmCkUpdate != nullptr) windows_.frmCkUpdate->SetDeviceInfo(f_DevInfo);
    SetPoMsgThreadState(TProcessState::psIdle);
}

void TfrmMain::SetUpdateButtonCaption(const QString& release) {
    if (QThread::currentThread() != thread()) {
        Post([this, release] { SetUpdateButtonCaption(release); });
        return;
    }
    update_button_release_ = release;
    // "Chromatik Update", two line breaks, "V" and the release.
    bbtnCKUpdate_->setText(tr("Chromatik Update") + QStringLiteral("\n\nV") + release);
}

// --- timers and threads ---

void TfrmMain::EnablePollTimer() {
    poll_stopped_.store(false);
    if (!tmrPollConnectionStatus_->isActive()) tmrPollConnectionStatus_->start();
}

void TfrmMain::PollSoon() {
    tmrPollConnectionStatus_->setInterval(kPollSoonMs);
    EnablePollTimer();
}

void TfrmMain::StatusPollTimerResume() {
    Post([this] {
        if (!poll_stopped_.load() && !closed_ && !tmrPollConnectionStatus_->isActive())
            tmrPollConnectionStatus_->start();
    });
}

void TfrmMain::StatusPollTimerSuspend() { tmrPollConnectionStatus_->stop(); }

// The disconnect job: the timer is already stopped while the job runs (the
// tick stops it), and it stays stopped until a menu action starts it again.
void TfrmMain::StopStatusPolling() { poll_stopped_.store(true); }

void TfrmMain::tmrPollConnectionStatusTimer() {
    if (tmrPollConnectionStatus_->interval() < 1000) tmrPollConnectionStatus_->setInterval(kPollIntervalMs);
    StatusPollTimerSuspend();
    if (FConnectionThread) FConnectionThread->Resume();
}

void TfrmMain::tmrWatchControlTimer() {
    if (FPoMsgThread && FPoMsgThread->HasNewState()) FPoMsgThread->Resume();
}

void TfrmMain::SetPoMsgThreadState(TProcessState state) {
    if (FPoMsgThread) FPoMsgThread->SetProcessState(state);
}

// The update keeps the connection thread away with this bit; a job run that
// is already under way is waited for, so that the update never talks to the
// instrument at the same time as the connection thread.
//
// While the dialog holds the reservation the bit stays set to the end of the
// update, whatever the engine asks: the dialog gives the connection back.
void TfrmMain::SetUSBWatchIdle(bool idle) {
    if (!idle && update_reserved_.load()) return;
    connection_.SetUSBWatchIdle(idle);
    if (idle) {
        TInterfaceLock wait;
        wait.Enter();
    }
}

// Holding the interface section, no connection job runs while the identity is
// compared, and none starts after it: the watch-idle bit is set before the
// section is left.
bool TfrmMain::ReserveForUpdate(const TDeviceInfo& shown, TDeviceInfo& current) {
    TInterfaceLock lock;
    lock.Enter();
    const TDeviceInfo& now = connection_.DevInfo();
    current = now.Device != 0 || now.CpuType != 0 || now.BootLoader ? IdentityOf(connection_.PortData(), now)
                                                                    : TDeviceInfo{};
    if (!Connected(current) || !SameInstrument(shown, current)) {
        MainTrace("TfrmMain.ReserveForUpdate: the instrument shown is not the one connected");
        return false;
    }
    update_reserved_.store(true);
    connection_.SetUSBWatchIdle(true);
    MainTrace("TfrmMain.ReserveForUpdate: reserved");
    return true;
}

void TfrmMain::ReleaseAfterUpdate() {
    if (!update_reserved_.exchange(false)) return;
    connection_.SetUSBWatchIdle(false);
    MainTrace("TfrmMain.ReleaseAfterUpdate: released");
    if (!closed_ && !poll_stopped_.load()) PollSoon();
}

bool TfrmMain::RefusedWhileUpdating(const char* action) {
    const bool updating = update_reserved_.load() ||
                          (windows_.frmCkUpdate != nullptr && windows_.frmCkUpdate->UpdateRunning());
    if (updating) MainTrace(std::string("TfrmMain.") + action + ": refused, an update is running");
    return updating;
}

UpdateOptions TfrmMain::CurrentUpdateOptions() const {
    UpdateOptions o;
    o.serviceMode = environment_.ServiceMode;
    o.verifyBeforeHeader = settings_.VerifyBeforeHeader;
    o.historyFile = DefaultHistoryFile();
    o.firmwareBackupBluetooth = settings_.FirmwareBackupBluetooth;
    o.firmwareBackupsKept = settings_.FirmwareBackupsKept;
    return o;
}

// --- automation ---

void TfrmMain::PostDiscoverMenuCommand() {
    // The first item of the first (visible) submenu of the second top-level
    // menu: "Select/search Bluetooth device".
    Post([this] {
        const QList<QAction*> menus = menuBar()->actions();
        if (menus.size() < 2 || menus.at(1)->menu() == nullptr) return;
        for (QAction* entry : menus.at(1)->menu()->actions()) {
            if (entry->menu() == nullptr || !entry->isVisible()) continue;
            const QList<QAction*> items = entry->menu()->actions();
            if (!items.isEmpty()) items.constFirst()->trigger();
            return;
        }
    });
}

// The windows are looked up on the window's own thread.
void TfrmMain::PostDiscoverSearchClick() {
    Post([this] {
        if (RefusedWhileUpdating("PostDiscoverSearchClick")) return;
        if (windows_.frmDiscover != nullptr) windows_.frmDiscover->PostSearchClick();
    });
}

void TfrmMain::PostDiscoverClose() {
    Post([this] {
        if (windows_.frmDiscover != nullptr) windows_.frmDiscover->PostClose();
    });
}

// Not over another modal window: the Bluetooth dialog holds the interface
// section while it is open, and an update started over it would wait for the
// section for ever.
void TfrmMain::PostUpdateButtonClick() {
    Post([this] {
        if (QApplication::activeModalWidget() != nullptr) return;
        if (windows_.frmCkUpdate == nullptr || !windows_.frmCkUpdate->isVisible()) bbtnCKUpdate_->click();
    });
}

// --- closing ---

void TfrmMain::closeEvent(QCloseEvent* event) {
    if (closed_) {
        event->accept();
        return;
    }
    // An update that runs is never cut off: the instrument would be left in its
    // boot loader with a half-written flash.
    if (windows_.frmCkUpdate != nullptr && windows_.frmCkUpdate->UpdateRunning()) {
        event->ignore();
        windows_.frmCkUpdate->ExplainRefusedClose();
        return;
    }
    connection_.SetJobFlags(job::kDisconnect);
    if (FConnectionThread->isRunning()) FConnectionThread->Resume();
    FPoMsgThread->Terminate();
    binding_->SetCommTraceSink({});
    if (windows_.frmCkUpdate != nullptr) windows_.frmCkUpdate->InitDbg({});

    closed_ = true;
    tmrPollConnectionStatus_->stop();
    tmrWatchControl_->stop();
    FConnectionThread->Terminate();
    FConnectionThread->wait();
    FPoMsgThread->wait();
    // A cycle that was under way (or found the section taken) when the job was
    // set ends the thread without running it: with no thread left, the window
    // closes the instrument itself.
    if (connection_.JobFlags() & job::kDisconnect) {
        connection_.SetJobFlags(0);
        connection_.CloseDev();
    }
    SaveWindowPos(*this);
    binding_->SetCommTraceSink({});
    SettingsStore::SaveSettings(settings_);
    event->accept();
    emit Closed();
}

}  // namespace ckupdate
