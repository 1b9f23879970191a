// The update dialog (TfrmCkUpdate): the window of the update engine.  It shows
// the two version lines, the five traffic lights, the count-down with its
// progress bar, the message list and the result panel, and forwards its buttons
// to the engine.
//
// The engine runs on a worker thread, so the window repaints and stays
// responsive during the fixed waits of an update; every view call from the
// worker is queued to the dialog, and the questions and boxes block the worker
// until they are answered.  While an update runs the dialog cannot be closed
// (Cancel is disabled, the title bar's close button and Escape are refused) and
// instrument identities handed in by the main window are kept until it ends.
//
// The dialog shows the identity of the instrument that "Run" would update and
// starts an update only on that instrument: at the press of a start button the
// main window (UpdateReservation) confirms that the instrument connected then
// is the one shown and reserves the connection for the update; otherwise the
// dialog shows the instrument connected now and starts nothing.
#pragma once

#include "update/binding/comm_api.h"
#include "update/config/settings_store.h"
#include "update/firmware/ck_update_engine.h"
#include "update/firmware/update_view.h"
#include "update/firmware/update_workflow.h"
#include "update/shell/update_reservation.h"

#include <QDialog>
#include <QPixmap>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class QFrame;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QThread;

namespace ckupdate {

class TfrmCkUpdate : public QDialog, public UpdateView {
    Q_OBJECT
public:
    TfrmCkUpdate(CommApi api, UpdateHost& host, QWidget* parent = nullptr,
                 UpdateReservation* reservation = nullptr);
    ~TfrmCkUpdate() override;

    // The main window's calls.  The identity is shown at once unless an update
    // runs (then once it has ended).
    void SetDeviceInfo(const TDeviceInfo& info);
    // The identity shown: the instrument "Run" acts on.
    const TDeviceInfo& ShownDeviceInfo() const { return shown_info_; }
    void SetOptions(const UpdateOptions& options);
    void InitDbg(std::function<void(const QString&)> sink);
    // Shows the dialog application-modal and returns at once.
    void ShowModal();
    // "Read firmware file": asks for the file (proposing the stored one) and
    // loads it; the stored name is updated when the file was read completely.
    // A cancelled choice changes nothing.
    enum class FileChoice { Cancelled, Incomplete, Complete };
    FileChoice OpenBinary(ProgramSettings& settings);
    void DiscardBinary();
    // Loads a checked firmware backup for a rollback: "Run" then writes it under
    // the service-mode rules (an older or the same release) and takes no copy of
    // the firmware it replaces.  False when the file is incomplete.
    bool OpenRollback(const QString& path);

    // True from a start button's click until the update has ended.
    bool UpdateRunning() const { return running_.load(); }
    // Says why a window does not close while the update runs (one box at a time).
    void ExplainRefusedClose();
    TCkUpdateEngine& Engine() { return *engine_; }

    // The controls, for the program's tests and screenshots.
    QGroupBox* gbCK_Update() const { return gbCK_Update_; }
    QLabel* lblUpdateVersion() const { return lblUpdateVersion_; }
    QLabel* lblUpdateVersion2() const { return lblUpdateVersion2_; }
    QLabel* lblInstrument() const { return lblInstrument_; }
    QFrame* pnlTrafficLight() const { return pnlTrafficLight_; }
    QFrame* pnlTL(int tag) const { return pnlTL_.at(static_cast<std::size_t>(tag - 1)); }
    QLabel* lblTL(int tag) const { return lblTL_.at(static_cast<std::size_t>(tag - 1)); }
    QLabel* Image(int tag) const { return Image_.at(static_cast<std::size_t>(tag - 1)); }
    QLabel* lblRemainTime() const { return lblRemainTime_; }
    QProgressBar* prgBarUpdate() const { return prgBarUpdate_; }
    QPlainTextEdit* Memo1() const { return Memo1_; }
    QPushButton* btnUpdateFW_CKV() const { return btnUpdateFW_CKV_; }
    QPushButton* btnCancel() const { return btnCancel_; }
    QPushButton* btnUpdateChromatik() const { return btnUpdateChromatik_; }
    QFrame* pnlMessage() const { return pnlMessage_; }
    QLabel* lblMsg() const { return lblMsg_; }
    QPushButton* btnMessage() const { return btnMessage_; }
    // The state a step shows (Off while hidden).
    StepState StepStateOf(int tag) const { return step_states_.at(static_cast<std::size_t>(tag - 1)); }

    // UpdateView: may be called from the worker thread.
    void SetStep(UpdateStep step, const QString& text, StepState state) override;
    void SetCountDown(const CountDown& countDown) override;
    void SetVersionLines(const QString& line1, const QString& line2) override;
    void ClearMessages() override;
    void AddMessage(const QString& line) override;
    void ScrollMessagesToEnd() override;
    void SetStartButtons(bool runEnabled, bool updateChromatikEnabled) override;
    void SetCancelEnabled(bool enabled) override;
    void SetButtonsLocked(bool locked) override;
    bool AskYesAbort(const QString& text) override;
    int AskChoice(const QString& text, const QStringList& answers) override;
    void ShowErrorBox(const QString& text) override;
    void ShowMessageBox(const QString& text) override;
    void ShowResultPanel(bool success) override;
    void HideResultPanel() override;
    void ProcessEvents() override;

signals:
    // An update (or a start that was refused) has ended.
    void UpdateFinished();

public slots:
    void btnUpdateFW_CKVClick();
    void btnUpdateChromatikClick();
    void btnCancelClick();
    void btnMessageClick();

    void setVisible(bool visible) override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void done(int r) override;

private:
    void CreateControls();
    void ApplyDeviceInfo(const TDeviceInfo& info);
    void ShowIdentity();
    void StartWorker(std::function<void()> work);
    void WorkerFinished();
    template <typename F>
    void OnUi(F&& f);
    template <typename F>
    void OnUiAndWait(F&& f);

    std::unique_ptr<TCkUpdateEngine> engine_;
    std::unique_ptr<UpdateWorkflow> workflow_;
    UpdateOptions options_;
    bool rollback_ = false;
    QString rollback_path_;
    void ApplyOptions();
    UpdateReservation* reservation_ = nullptr;
    TDeviceInfo shown_info_;
    std::optional<TDeviceInfo> pending_info_;
    // After a completed update the bar stays full, whatever count-down follows.
    bool bar_full_ = false;
    std::atomic<bool> running_{false};
    bool refusal_shown_ = false;
    std::unique_ptr<QThread> worker_;
    QList<QPushButton*> locked_buttons_;
    int message_result_ = QDialog::Accepted;
    std::array<StepState, 5> step_states_{};

    QPixmap ImageWait_, ImageGo_, ImageStop_;
    QGroupBox* gbCK_Update_ = nullptr;
    QLabel* lblUpdateVersion_ = nullptr;
    QLabel* lblUpdateVersion2_ = nullptr;
    QLabel* lblInstrument_ = nullptr;
    QFrame* pnlTrafficLight_ = nullptr;
    std::array<QFrame*, 5> pnlTL_{};
    std::array<QLabel*, 5> lblTL_{};
    std::array<QLabel*, 5> Image_{};
    QLabel* lblRemainTime_ = nullptr;
    QProgressBar* prgBarUpdate_ = nullptr;
    QPlainTextEdit* Memo1_ = nullptr;
    QPushButton* btnUpdateFW_CKV_ = nullptr;
    QPushButton* btnCancel_ = nullptr;
    QPushButton* btnUpdateChromatik_ = nullptr;
    QFrame* pnlMessage_ = nullptr;
    QLabel* lblMsg_ = nullptr;
    QPushButton* btnMessage_ = nullptr;
};

}  // namespace ckupdate
