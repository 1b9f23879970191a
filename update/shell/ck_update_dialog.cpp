#include "update/shell/ck_update_dialog.h"

#include "update/firmware/bin_stream.h"
#include "update/shell/dialog_services.h"
#include "update/shell/pictures.h"
#include "update/widgets/error_box.h"
#include "update/widgets/window_placement.h"
#include "update/widgets/windows1252.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QThread>
#include <QVBoxLayout>

#include <cstring>

namespace ckupdate {
namespace {

constexpr int kDesignWidth = 500;
constexpr int kDesignHeight = 600;
constexpr int kPictureSize = 28;

const QColor kBusyColour(255, 255, 0);   // yellow
const QColor kDoneColour(0, 255, 0);     // lime
const QColor kFailedColour(255, 0, 0);   // red

QLabel* VersionLine(QWidget* parent, const char* name) {
    auto* l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    QFont f = l->font();
    f.setBold(true);
    f.setPointSizeF(f.pointSizeF() * 1.45);
    l->setFont(f);
    l->setAlignment(Qt::AlignCenter);
    return l;
}

QPushButton* Button(QWidget* parent, const char* name) {
    auto* b = new QPushButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    b->setMinimumWidth(96);
    return b;
}

}  // namespace

TfrmCkUpdate::TfrmCkUpdate(CommApi api, UpdateHost& host, QWidget* parent, UpdateReservation* reservation)
    : QDialog(parent), reservation_(reservation) {
    setObjectName(QStringLiteral("frmCkUpdate"));
    ImageWait_ = DrawStepPicture(StepPicture::Wait, kPictureSize);
    ImageGo_ = DrawStepPicture(StepPicture::Go, kPictureSize);
    ImageStop_ = DrawStepPicture(StepPicture::Stop, kPictureSize);
    CreateControls();
    setWindowTitle(tr("Chromatik® V  - Update"));
    btnUpdateChromatik_->setText(tr("Update Chromatik"));
    btnUpdateFW_CKV_->setText(tr("Run"));
    btnCancel_->setText(tr("Cancel"));
    btnMessage_->setText(tr("Ok"));
    // The engine sets the time defaults, the version lines, hides the steps,
    // clears the message list, sets the buttons and hides the result panel.
    engine_ = std::make_unique<TCkUpdateEngine>(api, host, *this);
    workflow_ = std::make_unique<UpdateWorkflow>(*engine_, host, *this);
    message_result_ = QDialog::Accepted;
    pnlMessage_->setPalette(QPalette(kDoneColour));
    ShowIdentity();
}

TfrmCkUpdate::~TfrmCkUpdate() {
    if (worker_) worker_->wait();
}

void TfrmCkUpdate::CreateControls() {
    resize(kDesignWidth, kDesignHeight);
    auto* outer = new QVBoxLayout(this);
    gbCK_Update_ = new QGroupBox(this);
    gbCK_Update_->setObjectName(QStringLiteral("gbCK_Update"));
    outer->addWidget(gbCK_Update_);
    auto* box = new QVBoxLayout(gbCK_Update_);
    box->setSpacing(8);

    lblUpdateVersion_ = VersionLine(gbCK_Update_, "lblUpdateVersion");
    lblUpdateVersion2_ = VersionLine(gbCK_Update_, "lblUpdateVersion2");
    box->addWidget(lblUpdateVersion_);
    box->addWidget(lblUpdateVersion2_);
    lblInstrument_ = new QLabel(gbCK_Update_);
    lblInstrument_->setObjectName(QStringLiteral("lblInstrument"));
    lblInstrument_->setTextFormat(Qt::PlainText);
    lblInstrument_->setAlignment(Qt::AlignCenter);
    lblInstrument_->setWordWrap(true);
    box->addWidget(lblInstrument_);

    pnlTrafficLight_ = new QFrame(gbCK_Update_);
    pnlTrafficLight_->setObjectName(QStringLiteral("pnlTrafficLight"));
    pnlTrafficLight_->setFrameShape(QFrame::StyledPanel);
    pnlTrafficLight_->setFrameShadow(QFrame::Sunken);
    auto* lights = new QVBoxLayout(pnlTrafficLight_);
    lights->setSpacing(4);
    static constexpr const char* kPanels[] = {"pnlTL1", "pnlTL2", "pnlTL3", "pnlTL4", "pnlTl5"};
    for (int i = 0; i < 5; ++i) {
        auto* panel = new QFrame(pnlTrafficLight_);
        panel->setObjectName(QLatin1String(kPanels[i]));
        panel->setProperty("tag", i + 1);
        panel->setLineWidth(2);
        panel->setAutoFillBackground(true);
        QSizePolicy keep = panel->sizePolicy();
        keep.setRetainSizeWhenHidden(true);
        panel->setSizePolicy(keep);
        auto* row = new QHBoxLayout(panel);
        row->setContentsMargins(6, 3, 6, 3);
        auto* image = new QLabel(panel);
        image->setObjectName(QStringLiteral("Image%1").arg(i + 1));
        image->setFixedSize(kPictureSize, kPictureSize);
        QSizePolicy keepImage = image->sizePolicy();
        keepImage.setRetainSizeWhenHidden(true);
        image->setSizePolicy(keepImage);
        auto* label = new QLabel(panel);
        label->setObjectName(QStringLiteral("lblTL%1").arg(i + 1));
        QFont f = label->font();
        f.setBold(true);
        label->setFont(f);
        row->addWidget(image);
        row->addSpacing(6);
        row->addWidget(label, 1);
        lights->addWidget(panel);
        pnlTL_[static_cast<std::size_t>(i)] = panel;
        lblTL_[static_cast<std::size_t>(i)] = label;
        Image_[static_cast<std::size_t>(i)] = image;
    }
    box->addWidget(pnlTrafficLight_);

    lblRemainTime_ = new QLabel(gbCK_Update_);
    lblRemainTime_->setObjectName(QStringLiteral("lblRemainTime"));
    box->addWidget(lblRemainTime_);
    prgBarUpdate_ = new QProgressBar(gbCK_Update_);
    prgBarUpdate_->setObjectName(QStringLiteral("prgBarUpdate"));
    prgBarUpdate_->setTextVisible(false);
    box->addWidget(prgBarUpdate_);

    Memo1_ = new QPlainTextEdit(gbCK_Update_);
    Memo1_->setObjectName(QStringLiteral("Memo1"));
    Memo1_->setReadOnly(true);
    Memo1_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    Memo1_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // Long messages (file names, the texts of failures) wrap instead of hiding
    // their end beyond the right edge.
    Memo1_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo1_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    Memo1_->setMinimumHeight(90);
    auto* selectAll = new QShortcut(QKeySequence::SelectAll, Memo1_, Memo1_, &QPlainTextEdit::selectAll,
                                    Qt::WidgetShortcut);
    Q_UNUSED(selectAll);
    box->addWidget(Memo1_, 1);

    // The buttons, with the result panel drawn over them in the same place.
    auto* bottom = new QWidget(gbCK_Update_);
    auto* grid = new QGridLayout(bottom);
    grid->setContentsMargins(0, 0, 0, 0);
    auto* buttons = new QWidget(bottom);
    auto* row = new QHBoxLayout(buttons);
    row->setContentsMargins(0, 0, 0, 0);
    btnUpdateChromatik_ = Button(buttons, "btnUpdateChromatik");
    btnUpdateChromatik_->hide();  // a second start button the user cannot reach
    btnUpdateFW_CKV_ = Button(buttons, "btnUpdateFW_CKV");
    btnCancel_ = Button(buttons, "btnCancel");
    row->addStretch(1);
    row->addWidget(btnUpdateFW_CKV_);
    row->addWidget(btnCancel_);
    grid->addWidget(buttons, 0, 0);

    pnlMessage_ = new QFrame(bottom);
    pnlMessage_->setObjectName(QStringLiteral("pnlMessage"));
    pnlMessage_->setFrameShape(QFrame::Panel);
    pnlMessage_->setFrameShadow(QFrame::Raised);
    pnlMessage_->setAutoFillBackground(true);
    // The text is centred in the whole panel, the button sits over its right end.
    auto* message = new QGridLayout(pnlMessage_);
    message->setContentsMargins(4, 2, 4, 2);
    lblMsg_ = new QLabel(pnlMessage_);
    lblMsg_->setObjectName(QStringLiteral("lblMsg"));
    QFont big = lblMsg_->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.2);
    lblMsg_->setFont(big);
    lblMsg_->setAlignment(Qt::AlignCenter);
    btnMessage_ = Button(pnlMessage_, "btnMessage");
    message->addWidget(lblMsg_, 0, 0);
    message->addWidget(btnMessage_, 0, 0, Qt::AlignRight | Qt::AlignVCenter);
    btnMessage_->raise();
    grid->addWidget(pnlMessage_, 0, 0);
    pnlMessage_->hide();
    box->addWidget(bottom);

    connect(btnUpdateFW_CKV_, &QPushButton::clicked, this, &TfrmCkUpdate::btnUpdateFW_CKVClick);
    connect(btnUpdateChromatik_, &QPushButton::clicked, this, &TfrmCkUpdate::btnUpdateChromatikClick);
    connect(btnCancel_, &QPushButton::clicked, this, &TfrmCkUpdate::btnCancelClick);
    connect(btnMessage_, &QPushButton::clicked, this, &TfrmCkUpdate::btnMessageClick);
}

// --- calls of the main window ---

void TfrmCkUpdate::SetDeviceInfo(const TDeviceInfo& info) {
    // The engine's identity must not change under a running update.
    if (running_.load()) {
        pending_info_ = info;
        return;
    }
    ApplyDeviceInfo(info);
}

void TfrmCkUpdate::ApplyDeviceInfo(const TDeviceInfo& info) {
    shown_info_ = info;
    engine_->SetDeviceInfo(info);
    ShowIdentity();
}

// The instrument "Run" acts on, and whether it already runs the release that
// would be written (then "Run" has nothing to do outside the service mode).
void TfrmCkUpdate::ShowIdentity() {
    if (!Connected(shown_info_)) {
        lblInstrument_->setText(tr("No instrument connected"));
        return;
    }
    if (shown_info_.BootLoader) {
        lblInstrument_->setText(tr("An instrument that answers only as its boot loader: an update was interrupted. "
                                   "\"Run\" completes it."));
        return;
    }
    const char* kind = DeviceKindFor(shown_info_.Device).name;
    const QString name = shown_info_.Device != 0 ? FromWindows1252(kind, std::strlen(kind)) : tr("unknown device");
    QString text = shown_info_.Serial.isEmpty()
                       ? tr("Instrument: %1, no serial number, firmware V%2").arg(name, shown_info_.FirmwareVersion)
                       : tr("Instrument: %1, serial number %2, firmware V%3")
                             .arg(name, shown_info_.Serial, shown_info_.FirmwareVersion);
    if (!options_.serviceMode && !shown_info_.FirmwareVersion.isEmpty() &&
        shown_info_.FirmwareVersion == engine_->ReleaseToWrite())
        text += QLatin1Char('\n') + tr("This firmware is already installed.");
    lblInstrument_->setText(text);
}

void TfrmCkUpdate::SetOptions(const UpdateOptions& options) {
    options_ = options;
    if (running_.load()) return;
    ApplyOptions();
    ShowIdentity();
}

void TfrmCkUpdate::ApplyOptions() {
    UpdateOptions o = options_;
    if (rollback_) {
        o.serviceMode = true;
        o.firmwareBackupUsb = o.firmwareBackupBluetooth = false;
    }
    engine_->SetOptions(o);
}

bool TfrmCkUpdate::OpenRollback(const QString& path) {
    if (running_.load()) return false;
    rollback_ = engine_->OpenBinary(path);
    rollback_path_ = rollback_ ? path : QString();
    ApplyOptions();
    engine_->Show();  // the version lines name the release to write back
    ShowIdentity();
    return rollback_;
}

void TfrmCkUpdate::InitDbg(std::function<void(const QString&)> sink) {
    if (!running_.load()) engine_->InitDbg(std::move(sink));
}

void TfrmCkUpdate::ShowModal() {
    setWindowModality(Qt::ApplicationModal);
    show();
    raise();
    activateWindow();
}

TfrmCkUpdate::FileChoice TfrmCkUpdate::OpenBinary(ProgramSettings& settings) {
    if (running_.load()) return FileChoice::Cancelled;
    OpenFileRequest request;
    request.title = tr("Read firmware file");
    request.filters = QStringList{tr("Binary Files *.bin (*.bin)"), tr("All Files *.* (*)")};
    if (!settings.FileNameBinStream.isEmpty()) {
        request.fileName = settings.FileNameBinStream;
        request.folder = QFileInfo(settings.FileNameBinStream).absolutePath();
    } else {
        request.fileName = QLatin1String(kDefaultFirmwareFileName);
    }
    const QString path = AskOpenFileName(this, request);
    if (path.isEmpty()) return FileChoice::Cancelled;
    const bool complete = engine_->OpenBinary(path, &settings.FileNameBinStream);
    rollback_ = false;
    ApplyOptions();
    ShowIdentity();
    return complete ? FileChoice::Complete : FileChoice::Incomplete;
}

void TfrmCkUpdate::DiscardBinary() {
    if (running_.load()) return;
    engine_->DiscardBinary();
    rollback_ = false;
    ApplyOptions();
    ShowIdentity();
}

// --- buttons ---

void TfrmCkUpdate::btnUpdateFW_CKVClick() {
    const QString rollback = rollback_ ? rollback_path_ : QString();
    StartWorker([this, rollback] {
        if (!rollback.isEmpty()) {
            // The copy is checked against the instrument connected now.
            const QString refused = workflow_->PrepareRollback(rollback, false);
            if (!refused.isEmpty()) {
                ShowErrorBox(refused);
                return;
            }
            engine_->Run();
            return;
        }
        // What an earlier update left unfinished is finished first (its settings
        // written back, or an instrument in its boot loader programmed again), as
        // "tolactl update" does; the image was chosen when the instrument connected.
        WorkflowRequest request;
        request.explicitImage = true;
        if (workflow_->Prepare(request) != UpdateWorkflow::Next::Update) return;
        engine_->Run();
    });
}

void TfrmCkUpdate::btnUpdateChromatikClick() {
    StartWorker([this] {
        try {
            engine_->Update();
        } catch (const EProgramError& e) {
            ShowErrorBox(e.Message());
        } catch (const std::exception& e) {
            ShowErrorBox(QString::fromLocal8Bit(e.what()));
        }
    });
}

void TfrmCkUpdate::btnCancelClick() {
    done(QDialog::Rejected);
}

void TfrmCkUpdate::btnMessageClick() {
    done(message_result_);
}

void TfrmCkUpdate::StartWorker(std::function<void()> work) {
    if (running_.load()) return;
    if (reservation_ != nullptr) {
        // Another instrument (or none) may have connected since the identity
        // was shown: it is shown now, and nothing starts before the user has
        // seen it.
        TDeviceInfo current;
        if (!reservation_->ReserveForUpdate(shown_info_, current)) {
            ApplyDeviceInfo(current);
            return;
        }
    }
    running_.store(true);
    bar_full_ = false;
    ApplyOptions();
    worker_.reset(QThread::create(std::move(work)));
    worker_->setObjectName(QStringLiteral("TfrmCkUpdate.worker"));
    connect(worker_.get(), &QThread::finished, this, &TfrmCkUpdate::WorkerFinished, Qt::QueuedConnection);
    worker_->start();
}

void TfrmCkUpdate::WorkerFinished() {
    if (worker_) {
        worker_->wait();
        worker_.reset();
    }
    running_.store(false);
    if (reservation_ != nullptr) reservation_->ReleaseAfterUpdate();
    // A completed rollback is not offered again: the firmware is then current.
    if (rollback_ && engine_->LastResult() == UpdateResult::Succeeded) rollback_ = false;
    ApplyOptions();
    if (pending_info_) {
        ApplyDeviceInfo(*pending_info_);
        pending_info_.reset();
    }
    ShowIdentity();
    emit UpdateFinished();
}

// --- showing and closing ---

// The stored place is the frame's; it is applied before the window is mapped,
// while the frame can still be placed (see window_placement.h).
void TfrmCkUpdate::setVisible(bool visible) {
    if (visible && !isVisible()) RestoreWindowPos(*this, true);
    QDialog::setVisible(visible);
}

void TfrmCkUpdate::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        if (!running_.load()) {
            bar_full_ = false;
            engine_->Show();
            ShowIdentity();
        }
        message_result_ = QDialog::Accepted;
        pnlMessage_->setPalette(QPalette(kDoneColour));
    }
    QDialog::showEvent(event);
    if (!event->spontaneous() && btnUpdateFW_CKV_->isEnabled()) btnUpdateFW_CKV_->setFocus();
}

void TfrmCkUpdate::closeEvent(QCloseEvent* event) {
    if (running_.load()) {
        event->ignore();
        ExplainRefusedClose();
        return;
    }
    QDialog::closeEvent(event);
}

// Every way of closing ends here: refused while an update runs.
void TfrmCkUpdate::done(int r) {
    if (running_.load()) {
        ExplainRefusedClose();
        return;
    }
    if (isVisible()) SaveWindowPos(*this);
    QDialog::done(r);
}

void TfrmCkUpdate::ExplainRefusedClose() {
    if (refusal_shown_) return;
    refusal_shown_ = true;
    AskMessageBox(this, BoxRequest{QMessageBox::Information, tr("Information"),
                                   tr("An update is running. Please wait until it has ended."), QMessageBox::Ok});
    refusal_shown_ = false;
}

// --- the view (any thread) ---

template <typename F>
void TfrmCkUpdate::OnUi(F&& f) {
    if (QThread::currentThread() == thread()) f();
    else QMetaObject::invokeMethod(this, std::forward<F>(f), Qt::QueuedConnection);
}

template <typename F>
void TfrmCkUpdate::OnUiAndWait(F&& f) {
    if (QThread::currentThread() == thread()) f();
    else QMetaObject::invokeMethod(this, std::forward<F>(f), Qt::BlockingQueuedConnection);
}

void TfrmCkUpdate::SetStep(UpdateStep step, const QString& text, StepState state) {
    OnUi([this, step, text, state] {
        const auto i = static_cast<std::size_t>(static_cast<int>(step) - 1);
        if (i >= pnlTL_.size()) return;
        QFrame* panel = pnlTL_[i];
        QLabel* image = Image_[i];
        lblTL_[i]->setText(text);
        step_states_[i] = state;
        QPalette palette;  // the neutral face colour
        switch (state) {
            case StepState::Off:
                image->hide();
                panel->setFrameStyle(QFrame::NoFrame);
                panel->setPalette(palette);
                panel->hide();
                break;
            case StepState::Busy:
                image->setPixmap(ImageWait_);
                palette.setColor(QPalette::Window, kBusyColour);
                panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
                break;
            case StepState::Done:
                image->setPixmap(ImageGo_);
                palette.setColor(QPalette::Window, kDoneColour);
                panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
                break;
            case StepState::Failed:
                image->setPixmap(ImageStop_);
                palette.setColor(QPalette::Window, kFailedColour);
                panel->setFrameStyle(QFrame::NoFrame);
                break;
        }
        if (state != StepState::Off) {
            palette.setColor(QPalette::WindowText, Qt::black);
            panel->setPalette(palette);
            image->show();
            panel->show();
        }
        pnlTrafficLight_->update();
    });
}

void TfrmCkUpdate::SetCountDown(const CountDown& c) {
    OnUi([this, c] {
        // A maximum of 0 (no estimate yet) would make the bar a busy animation:
        // it is an empty, still bar instead.
        const int maximum = qMax(0, c.maximumSeconds);
        prgBarUpdate_->setRange(0, qMax(1, maximum));
        // A completed update keeps its full bar: the estimates the engine
        // clears afterwards must not make it look undone.
        if (bar_full_) prgBarUpdate_->setValue(prgBarUpdate_->maximum());
        else prgBarUpdate_->setValue(std::clamp(c.positionSeconds, 0, maximum));
        lblRemainTime_->setText(c.label);
    });
}

void TfrmCkUpdate::SetVersionLines(const QString& line1, const QString& line2) {
    OnUi([this, line1, line2] {
        lblUpdateVersion_->setText(line1);
        lblUpdateVersion2_->setText(line2);
    });
}

void TfrmCkUpdate::ClearMessages() {
    OnUi([this] { Memo1_->clear(); });
}

void TfrmCkUpdate::AddMessage(const QString& line) {
    OnUi([this, line] { Memo1_->appendPlainText(BoxDisplayText(line)); });
}

void TfrmCkUpdate::ScrollMessagesToEnd() {
    OnUi([this] { Memo1_->verticalScrollBar()->setValue(Memo1_->verticalScrollBar()->maximum()); });
}

void TfrmCkUpdate::SetStartButtons(bool runEnabled, bool updateChromatikEnabled) {
    OnUi([this, runEnabled, updateChromatikEnabled] {
        btnUpdateFW_CKV_->setEnabled(runEnabled);
        btnUpdateChromatik_->setEnabled(updateChromatikEnabled);
    });
}

void TfrmCkUpdate::SetCancelEnabled(bool enabled) {
    OnUi([this, enabled] { btnCancel_->setEnabled(enabled); });
}

void TfrmCkUpdate::SetButtonsLocked(bool locked) {
    OnUi([this, locked] {
        if (locked) {
            locked_buttons_.clear();
            for (QPushButton* b : gbCK_Update_->findChildren<QPushButton*>()) {
                if (!b->isEnabled()) continue;
                b->setEnabled(false);
                locked_buttons_.append(b);
            }
        } else {
            for (QPushButton* b : locked_buttons_) b->setEnabled(true);
            locked_buttons_.clear();
        }
    });
}

int TfrmCkUpdate::AskChoice(const QString& text, const QStringList& answers) {
    int chosen = -1;
    OnUiAndWait([this, &text, &answers, &chosen] { chosen = AskItem(this, ItemRequest{windowTitle(), text, answers}); });
    return chosen;
}

bool TfrmCkUpdate::AskYesAbort(const QString& text) {
    bool yes = false;
    OnUiAndWait([this, &text, &yes] {
        BoxRequest box{QMessageBox::Warning, tr("Warning"), text, QMessageBox::Yes | QMessageBox::Abort};
        yes = AskMessageBox(this, box) == QMessageBox::Yes;
    });
    return yes;
}

void TfrmCkUpdate::ShowErrorBox(const QString& text) {
    OnUiAndWait([this, &text] { ckupdate::ShowErrorBox(this, text); });
}

void TfrmCkUpdate::ShowMessageBox(const QString& text) {
    OnUiAndWait([this, &text] {
        AskMessageBox(this, BoxRequest{QMessageBox::Information, tr("Information"), text, QMessageBox::Ok});
    });
}

void TfrmCkUpdate::ShowResultPanel(bool success) {
    OnUi([this, success] {
        lblMsg_->setText(success ? tr("Update completed") : tr("Update error"));
        btnMessage_->setText(success ? tr("Ok") : tr("Cancel"));
        message_result_ = success ? QDialog::Accepted : QDialog::Rejected;
        if (success) {
            bar_full_ = true;
            prgBarUpdate_->setValue(prgBarUpdate_->maximum());
        }
        pnlMessage_->setPalette(QPalette(success ? kDoneColour : kFailedColour));
        QPalette text = lblMsg_->palette();
        text.setColor(QPalette::WindowText, Qt::black);
        lblMsg_->setPalette(text);
        pnlMessage_->show();
        pnlMessage_->raise();
    });
}

void TfrmCkUpdate::HideResultPanel() {
    OnUi([this] {
        message_result_ = QDialog::Accepted;
        pnlMessage_->setPalette(QPalette(kDoneColour));
        pnlMessage_->hide();
    });
}

void TfrmCkUpdate::ProcessEvents() {
    // On the worker the window runs its own event loop; only an engine on the
    // user-interface thread has to let pending events run.
    if (QThread::currentThread() == thread()) QCoreApplication::processEvents();
}

}  // namespace ckupdate
