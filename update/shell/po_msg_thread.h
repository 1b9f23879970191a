// TPoMsgThread: the automation.  Without any click it has the main window
// open the Bluetooth search, press Search, close the dialog when exactly one
// instrument was found, and open the update dialog once an instrument is
// connected.  It only posts "clicks" to the windows; it never touches them.
// The watch timer wakes it for one step whenever the state was changed
// through the ProcessState property.
#pragma once

#include "update/device/process_state.h"
#include "update/shell/suspended_thread.h"

#include <mutex>

namespace ckupdate {

// The clicks the automation posts; each member queues its work to the window's
// thread and returns at once.
class AutomationHost {
public:
    virtual ~AutomationHost() = default;
    // The menu command "Select/search Bluetooth device".
    virtual void PostDiscoverMenuCommand() = 0;
    // A click of the Bluetooth dialog's Search button.
    virtual void PostDiscoverSearchClick() = 0;
    // A close request to the Bluetooth dialog.
    virtual void PostDiscoverClose() = 0;
    // A click of the update button, unless the update dialog is visible.
    virtual void PostUpdateButtonClick() = 0;
};

class TPoMsgThread : public TSuspendedThread {
    Q_OBJECT
public:
    explicit TPoMsgThread(AutomationHost& host, QObject* parent = nullptr);
    ~TPoMsgThread() override;

    // The property: a new value that differs from the current one is a new state.
    TProcessState ProcessState() const;
    void SetProcessState(TProcessState state);
    // Reads and clears the "new state" mark.
    bool HasNewState();

    // Resume wakes the thread for one step.

    // One step of the automation on the current state.  Public so that tests
    // can walk the state machine without the thread.
    void Step();

protected:
    void run() override;

private:
    // Moves from `from` to `to` unless the state changed meanwhile; `announce`
    // marks the new state as one to step on.
    bool Advance(TProcessState from, TProcessState to, bool announce);

    AutomationHost& host_;
    mutable std::mutex state_mutex_;
    TProcessState FProcessState = TProcessState::psIdle;
    bool FNewState = false;
};

}  // namespace ckupdate
