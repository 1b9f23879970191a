#include "update/bluetooth/bt_discover.h"

#include "update/bluetooth/discover_thread.h"
#include "update/config/folders.h"
#include "update/widgets/error_box.h"
#include "update/widgets/window_placement.h"
#include "update/widgets/windows1252.h"

#include <QDir>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QFontMetrics>
#include <QStyle>
#include <QHeaderView>
#include <QKeyEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>

namespace ckupdate {
namespace {

constexpr int kClientWidth = 326;
constexpr int kClientHeight = 211;
constexpr int kColumnWidth = 160;
constexpr int kPanelHeight = 19;
// Names and addresses are cut to this many characters in the chosen device.
constexpr int kDeviceTextChars = 50;

QString FieldText(const char* field, std::size_t size) {
    return FromWindows1252(field, strnlen(field, size));
}

// Chooses a row with the mouse (on release, as a click does) or with Enter.
// A click on the empty part of the list chooses nothing: the view keeps its
// selection then, so the selection is dropped before the click is handled.
class ListViewClicks : public QObject {
public:
    ListViewClicks(TfrmDiscover* dialog, QTreeWidget* list) : QObject(dialog), dialog_(dialog), list_(list) {
        list->viewport()->installEventFilter(this);
        list->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::LeftButton) break;
            if (watched == list_->viewport() && !list_->indexAt(mouse->position().toPoint()).isValid())
                list_->clearSelection();
            dialog_->lvDevicesClick();
            break;
        }
        case QEvent::KeyPress: {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                dialog_->lvDevicesClick();
                return true;
            }
            break;
        }
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    TfrmDiscover* dialog_;
    QTreeWidget* list_;
};

QPushButton* MakeButton(QWidget* parent, const char* objectName) {
    auto* button = new QPushButton(parent);
    button->setObjectName(QLatin1String(objectName));
    // No default button: Enter in the list chooses the row instead.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

}  // namespace

TfrmDiscover::TfrmDiscover(CommApi api, ProgramSettings& settings, QWidget* parent, const QString& dataFolder)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      api_(api),
      settings_(settings),
      f_BtDevices(std::make_unique<BT_DEVICES>()) {
    setObjectName(QStringLiteral("frmDiscover"));
    setModal(true);

    lvDevices_ = new QTreeWidget(this);
    lvDevices_->setObjectName(QStringLiteral("lvDevices"));
    lvDevices_->setColumnCount(2);
    lvDevices_->setRootIsDecorated(false);
    lvDevices_->setUniformRowHeights(true);
    lvDevices_->setSelectionMode(QAbstractItemView::SingleSelection);
    lvDevices_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvDevices_->setColumnWidth(0, kColumnWidth);
    lvDevices_->setColumnWidth(1, kColumnWidth);
    lvDevices_->header()->setStretchLastSection(true);
    lvDevices_->header()->setSectionsMovable(false);
    new ListViewClicks(this, lvDevices_);

    btnDiscSearch_ = MakeButton(this, "btnDiscSearch");
    btnDiscConnect_ = MakeButton(this, "btnDiscConnect");
    btnDiscDelete_ = MakeButton(this, "btnDiscDelete");
    btnDiscDeleteAll_ = MakeButton(this, "btnDiscDeleteAll");
    btnDiscCancel_ = MakeButton(this, "btnDiscCancel");
    // Part of the layout with their handlers, but this program never shows them.
    btnDiscConnect_->setVisible(false);
    btnDiscDelete_->setVisible(false);
    btnDiscDeleteAll_->setVisible(false);
    SetConnectDeleteEnabled(false);
    connect(btnDiscSearch_, &QPushButton::clicked, this, &TfrmDiscover::btnDiscSearchClick);
    connect(btnDiscCancel_, &QPushButton::clicked, this, &TfrmDiscover::btnDiscCancelClick);
    connect(btnDiscConnect_, &QPushButton::clicked, this, &TfrmDiscover::btnDiscConnectClick);
    connect(btnDiscDelete_, &QPushButton::clicked, this, &TfrmDiscover::btnDiscDeleteClick);
    connect(btnDiscDeleteAll_, &QPushButton::clicked, this, &TfrmDiscover::btnDiscDeleteAllClick);

    Panel1_ = new QFrame(this);
    Panel1_->setObjectName(QStringLiteral("Panel1"));
    Panel1_->setFixedHeight(kPanelHeight);
    pbDiscovery_ = new QProgressBar(Panel1_);
    pbDiscovery_->setObjectName(QStringLiteral("pbDiscovery"));
    pbDiscovery_->setTextVisible(false);
    auto* panelLayout = new QHBoxLayout(Panel1_);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->addWidget(pbDiscovery_);
    Panel1_->setVisible(false);

    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(8, 8, 8, 8);
    buttons->addWidget(btnDiscSearch_);
    buttons->addWidget(btnDiscConnect_);
    buttons->addWidget(btnDiscDelete_);
    buttons->addWidget(btnDiscDeleteAll_);
    buttons->addStretch(1);
    buttons->addWidget(btnDiscCancel_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(lvDevices_, 1);
    layout->addLayout(buttons);
    layout->addWidget(Panel1_);

    setFixedWidth(kClientWidth);
    setMinimumHeight(kClientHeight);
    resize(kClientWidth, kClientHeight);

    f_KnownDevicesFileName = QDir(dataFolder.isEmpty() ? CheckMainAppDataDir(QString()) : dataFolder)
                                 .filePath(QLatin1String(kKnownDevicesFileName));
    FormCreate();
}

TfrmDiscover::~TfrmDiscover() {
    // The library call cannot be interrupted: a running search is waited for.
    if (f_DiscoverThread) f_DiscoverThread->wait();
}

void TfrmDiscover::FormCreate() {
    ClearDevice();
    f_DeviceCount = 0;
    f_KnownDeviceList.Clear();

    SetTitle(QString());
    lvDevices_->setHeaderLabels({tr("Device name"), tr("BT address")});
    btnDiscSearch_->setText(tr("Search"));
    btnDiscCancel_->setText(tr("Cancel"));
    btnDiscConnect_->setText(tr("Connect"));
    btnDiscDelete_->setText(tr("Delete"));
    btnDiscDeleteAll_->setText(tr("Clear list"));

    RestoreWindowPos(*this, true);

    const std::optional<StoredBluetoothDevice> stored = ParseStoredBluetoothDevice(settings_.BluetoothDevice);
    if (stored) {
        settings_.BluetoothDevice = stored->entry;
        f_KnownDeviceList.Add(stored->entry);
    }
    FillListView();

    if (stored) {
        // As the list view finds captions: the whole text, ignoring case.
        const QList<QTreeWidgetItem*> found = lvDevices_->findItems(stored->name, Qt::MatchFixedString, 0);
        if (!found.isEmpty()) {
            QTreeWidgetItem* row = found.first();
            lvDevices_->setCurrentItem(row);
            f_DeviceCount = lvDevices_->topLevelItemCount();
            if (IsSelectableDeviceName(row->text(0))) {
                TakeDevice(row->text(0), row->text(1));
                SetConnectDeleteEnabled(true);
            }
        }
    }
}

void TfrmDiscover::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) FormShow();
    QDialog::showEvent(event);
}

void TfrmDiscover::FormShow() {
    SetTitle(tr(" - known devices"));
    if (!SearchRunning()) f_DiscoverThread.reset();
    SetConnectDeleteEnabled(false);
    f_ModalResult = mrCancel;
}

int TfrmDiscover::ShowModal() {
    return exec();
}

void TfrmDiscover::keyPressEvent(QKeyEvent* event) {
    // Escape is a click of Cancel (refused while Cancel is disabled).
    if (event->key() == Qt::Key_Escape) {
        if (btnDiscCancel_->isEnabled()) btnDiscCancel_->click();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TfrmDiscover::SetTitle(const QString& suffix) {
    setWindowTitle(tr("Bluetooth") + suffix);
}

void TfrmDiscover::SetConnectDeleteEnabled(bool enabled) {
    btnDiscConnect_->setEnabled(enabled);
    btnDiscDelete_->setEnabled(enabled);
}

void TfrmDiscover::ClearDevice() {
    f_Device = BT_DEVICE{};
}

void TfrmDiscover::TakeDevice(const QString& name, const QString& address) {
    CopyToAnsiField(f_Device.snBtDeviceName, sizeof(f_Device.snBtDeviceName), name, kDeviceTextChars);
    CopyToAnsiField(f_Device.snBtAddress, sizeof(f_Device.snBtAddress), address, kDeviceTextChars);
}

void TfrmDiscover::Report(TProcessState state) {
    if (receiver_ != nullptr) receiver_->SetPoMsgThreadState(state);
}

void TfrmDiscover::FillListView() {
    lvDevices_->clear();
    for (const KnownDevice& row : f_KnownDeviceList.Rows()) {
        auto* item = new QTreeWidgetItem(lvDevices_);
        item->setText(0, row.name);
        item->setText(1, row.address);
    }
    // Names longer than the design column take width from the address column,
    // as far as a whole address stays readable.
    const QFontMetrics metrics(lvDevices_->font());
    int nameText = 0, addressText = metrics.horizontalAdvance(lvDevices_->headerItem()->text(1));
    for (int i = 0; i < lvDevices_->topLevelItemCount(); ++i) {
        nameText = qMax(nameText, metrics.horizontalAdvance(lvDevices_->topLevelItem(i)->text(0)));
        addressText = qMax(addressText, metrics.horizontalAdvance(lvDevices_->topLevelItem(i)->text(1)));
    }
    const int margins = 2 * lvDevices_->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, lvDevices_) + 12;
    const int addressWidth = addressText + margins;
    const int room = lvDevices_->viewport()->width() > 0 ? lvDevices_->viewport()->width() : 2 * kColumnWidth;
    const int nameWidth = qBound(kColumnWidth, nameText + margins + lvDevices_->indentation(),
                                 qMax(kColumnWidth, room - addressWidth));
    lvDevices_->setColumnWidth(0, nameWidth);
    lvDevices_->setColumnWidth(1, qMax(addressWidth, room - nameWidth));
}

QString TfrmDiscover::GetDeviceNameList(int idx) const {
    if (idx < 0 || idx >= f_DeviceCount || idx >= lvDevices_->topLevelItemCount()) return QString();
    return lvDevices_->topLevelItem(idx)->text(0);
}

QString TfrmDiscover::GetDeviceAddressList(int idx) const {
    if (idx < 0 || idx >= f_DeviceCount || idx >= lvDevices_->topLevelItemCount()) return QString();
    return lvDevices_->topLevelItem(idx)->text(1);
}

void TfrmDiscover::lvDevicesClick() {
    ClearDevice();
    f_DeviceCount = lvDevices_->topLevelItemCount();
    const QList<QTreeWidgetItem*> selected = lvDevices_->selectedItems();
    if (selected.isEmpty()) {
        SetConnectDeleteEnabled(false);
        return;
    }
    const QTreeWidgetItem* row = selected.first();
    if (!IsSelectableDeviceName(row->text(0))) {
        SetConnectDeleteEnabled(false);
        return;
    }
    settings_.BluetoothDevice = KnownDeviceEntry(row->text(0), row->text(1));
    TakeDevice(row->text(0), row->text(1));
    f_ModalResult = mrOk;
    SetConnectDeleteEnabled(true);
    close();
}

void TfrmDiscover::SetSearchCursor(bool busy) {
    for (QWidget* w : {static_cast<QWidget*>(this), static_cast<QWidget*>(pbDiscovery_),
                       static_cast<QWidget*>(lvDevices_)}) {
        if (busy)
            w->setCursor(Qt::WaitCursor);
        else
            w->unsetCursor();
    }
}

bool TfrmDiscover::SearchRunning() const {
    return !f_SearchEnded;
}

void TfrmDiscover::btnDiscSearchClick() {
    if (SearchRunning()) return;  // one search at a time
    ClearDevice();
    f_DeviceCount = 0;
    lvDevices_->clear();

    SetTitle(tr(" - Searching for devices..."));
    SetSearchCursor(true);
    pbDiscovery_->setRange(0, 0);  // busy (marquee)
    Panel1_->setVisible(true);
    btnDiscSearch_->setEnabled(false);
    btnDiscCancel_->setEnabled(false);
    lvDevices_->setEnabled(false);

    if (f_DiscoverThread) f_DiscoverThread->wait();
    f_DiscoverThread = std::make_unique<TDiscoverThread>(api_);
    TDiscoverThread* thread = f_DiscoverThread.get();
    // The end of the search is handled on this dialog's thread.
    connect(
        thread, &TDiscoverThread::Discovered, this,
        [this, thread](bool success) {
            if (f_DiscoverThread.get() != thread) return;
            *f_BtDevices = thread->Devices();
            SetDiscoveredState(success);
        },
        Qt::QueuedConnection);
    f_SearchEnded = false;
    thread->start();
}

void TfrmDiscover::SetDiscoveredState(bool ASuccessState) {
    f_SearchEnded = true;
    lvDevices_->setEnabled(true);
    SetSearchCursor(false);
    if (ASuccessState) {
        DiscoveryComplete();
    } else {
        SetTitle(tr(" - search for devices failed"));
        btnDiscSearch_->setEnabled(true);
        btnDiscCancel_->setEnabled(true);
    }
    Panel1_->setVisible(false);
    pbDiscovery_->setRange(0, 100);
}

void TfrmDiscover::DiscoveryComplete() {
    const int found = static_cast<int>(std::min<std::uint32_t>(f_BtDevices->iCount, TOLA_BT_DEVICES_MAX));
    if (found == 0) {
        SetTitle(tr(" - no device found"));
        Report(TProcessState::psDiscoverFailed);
        btnDiscSearch_->setEnabled(true);
        btnDiscCancel_->setEnabled(true);
        return;
    }
    SetTitle(tr(" - please select device"));
    for (int i = 0; i < found; ++i) {
        const BT_DEVICE& d = f_BtDevices->qBtDevice[i];
        f_KnownDeviceList.Add(KnownDeviceEntry(FieldText(d.snBtDeviceName, sizeof(d.snBtDeviceName)),
                                               FieldText(d.snBtAddress, sizeof(d.snBtAddress))));
    }
    FillListView();
    ClearDevice();
    f_DeviceCount = lvDevices_->topLevelItemCount();
    if (f_DeviceCount > 0) {
        QTreeWidgetItem* first = lvDevices_->topLevelItem(0);
        lvDevices_->setCurrentItem(first);
        // Row 0 is the first known device in sorted order, which need not be
        // one of the devices just found.
        if (IsSelectableDeviceName(first->text(0))) {
            settings_.BluetoothDevice = KnownDeviceEntry(first->text(0), first->text(1));
            TakeDevice(first->text(0), first->text(1));
        }
    }
    f_ModalResult = mrOk;
    Report(found == 1 ? TProcessState::psDiscoveredSingle : TProcessState::psDiscoveredMultiple);
    btnDiscSearch_->setEnabled(true);
    btnDiscCancel_->setEnabled(true);
}

void TfrmDiscover::btnDiscDeleteClick() {
    SetConnectDeleteEnabled(false);
    const QList<QTreeWidgetItem*> selected = lvDevices_->selectedItems();
    if (selected.isEmpty()) return;
    f_KnownDeviceList.Remove(KnownDeviceEntry(selected.first()->text(0), selected.first()->text(1)));
    FillListView();
}

void TfrmDiscover::btnDiscDeleteAllClick() {
    SetConnectDeleteEnabled(false);
    f_KnownDeviceList.Clear();
    FillListView();
}

void TfrmDiscover::RemoveSelectedDeviceFromList() {
    SetConnectDeleteEnabled(false);
    f_KnownDeviceList.Remove(KnownDeviceEntry(FieldText(f_Device.snBtDeviceName, sizeof(f_Device.snBtDeviceName)),
                                              FieldText(f_Device.snBtAddress, sizeof(f_Device.snBtAddress))));
    FillListView();
}

void TfrmDiscover::btnDiscCancelClick() {
    f_ModalResult = mrCancel;
    close();
}

void TfrmDiscover::btnDiscConnectClick() {
    close();
}

// A dialog closed before the posted click arrives starts no search.
void TfrmDiscover::PostSearchClick() {
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (isVisible()) btnDiscSearch_->click();
        },
        Qt::QueuedConnection);
}

void TfrmDiscover::PostClose() {
    QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
}

bool TfrmDiscover::FormCloseQuery() const {
    return !SearchRunning();
}

void TfrmDiscover::done(int /*r*/) {
    if (!FormCloseQuery()) return;
    QString error;
    try {
        FormClose();
    } catch (const EProgramError& e) {
        error = e.Message();
    }
    lvDevices_->clearSelection();
    QDialog::done(f_ModalResult);
    if (!error.isEmpty()) ShowErrorBox(parentWidget(), error);
}

void TfrmDiscover::FormClose() {
    SaveWindowPos(*this);
    if (f_DiscoverThread) {
        f_DiscoverThread->requestInterruption();
        f_DiscoverThread->wait();
        f_DiscoverThread.reset();
    }
    f_KnownDeviceList.SaveToFile(f_KnownDevicesFileName);
}

}  // namespace ckupdate
