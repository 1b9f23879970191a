// What the update engine shows, and the main-window services it needs.  The
// update dialog of the program implements UpdateView; tolactl implements it for
// a terminal and for JSON lines.  The engine calls every member on the thread
// that runs it (see docs/update-engine.md); members that ask the user block
// until the user has answered.
#pragma once

#include "tola_comm.h"
#include "update/device/instrument_identity.h"

#include <QString>
#include <QStringList>

#include <cstdint>

namespace ckupdate {

// The five steps of the traffic lights (panel tags 1..5).
enum class UpdateStep { ReadSetup = 1, Program = 2, WaitReset = 3, WriteSetup = 4, Completed = 5 };

// Off: step hidden; Busy: yellow; Done: green; Failed: red.
enum class StepState { Off = 0, Busy = 1, Done = 2, Failed = 3 };

struct CountDown {
    int maximumSeconds = 0;   // progress bar maximum
    int positionSeconds = 0;  // progress bar position
    std::uint32_t remainingMs = 1;
    QString label;            // "Remaining time: mm:ss"
};

class UpdateView {
public:
    virtual ~UpdateView() = default;

    virtual void SetStep(UpdateStep step, const QString& text, StepState state) = 0;
    virtual void SetCountDown(const CountDown& countDown) = 0;
    virtual void SetVersionLines(const QString& line1, const QString& line2) = 0;

    // The message list (Memo1).
    virtual void ClearMessages() = 0;
    virtual void AddMessage(const QString& line) = 0;
    virtual void ScrollMessagesToEnd() {}

    // Start buttons while no update runs: "Run" and the hidden second start button.
    virtual void SetStartButtons(bool runEnabled, bool updateChromatikEnabled) = 0;
    virtual void SetCancelEnabled(bool enabled) = 0;
    // During an update every enabled button is disabled; false gives back the
    // ones that were enabled before.
    virtual void SetButtonsLocked(bool locked) = 0;

    // A warning box with the buttons Yes and Abort: true for Yes.
    virtual bool AskYesAbort(const QString& text) = 0;
    // A question with a list of answers: the index of the one chosen, -1 when
    // none was (a view that cannot ask chooses none).
    virtual int AskChoice(const QString& /*text*/, const QStringList& /*answers*/) { return -1; }
    // The framework's standard error box (errors that escape a user action).
    virtual void ShowErrorBox(const QString& text) = 0;
    // A message box with OK.
    virtual void ShowMessageBox(const QString& text) = 0;
    // The result panel: success "Update completed" with "Ok", failure
    // "Update error" with "Cancel"; hidden again by HideResultPanel.
    virtual void ShowResultPanel(bool success) = 0;
    virtual void HideResultPanel() = 0;

    // Lets pending window messages run and repaints (called after every block).
    virtual void ProcessEvents() {}
};

// The main window's part of an update: its connection record, OpenDev and
// CloseDev, the watch-idle switch, the update button's caption.
class UpdateHost {
public:
    virtual ~UpdateHost() = default;
    virtual PXM_COMM& PortData() = 0;
    virtual std::int32_t OpenDev() = 0;
    virtual void CloseDev() = 0;
    virtual void SetUSBWatchIdle(bool idle) = 0;
    virtual void SetUpdateButtonCaption(const QString& /*release*/) {}
    // The instrument the record is connected to (its device type and processor
    // type as the main window asked them at the open).
    virtual InstrumentIdentity Identity() = 0;
    // The search limit every later OpenDev applies (empty: none).
    virtual SearchLimit Limit() const = 0;
    virtual void SetSearchLimit(const SearchLimit& limit) = 0;
};

}  // namespace ckupdate
