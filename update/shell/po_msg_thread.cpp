#include "update/shell/po_msg_thread.h"

namespace ckupdate {

TPoMsgThread::TPoMsgThread(AutomationHost& host, QObject* parent) : TSuspendedThread(parent), host_(host) {}

TPoMsgThread::~TPoMsgThread() {
    Terminate();
    wait();
}

TProcessState TPoMsgThread::ProcessState() const {
    std::lock_guard lock(state_mutex_);
    return FProcessState;
}

void TPoMsgThread::SetProcessState(TProcessState state) {
    std::lock_guard lock(state_mutex_);
    FNewState = state != FProcessState;
    FProcessState = state;
}

bool TPoMsgThread::Advance(TProcessState from, TProcessState to, bool announce) {
    std::lock_guard lock(state_mutex_);
    if (FProcessState != from) return false;
    if (announce) FNewState = to != FProcessState;
    FProcessState = to;
    return true;
}

bool TPoMsgThread::HasNewState() {
    std::lock_guard lock(state_mutex_);
    const bool fresh = FNewState;
    FNewState = false;
    return fresh;
}

// Created suspended: the first wake-up starts the thread and takes its step.
void TPoMsgThread::run() {
    while (!Terminated()) {
        Step();
        WaitForResume();
    }
}

// Each step takes its next state before it asks the window to act: the window's
// answer (a search that ends at once, a connection made) may come before this
// thread runs again, and must not be overwritten by the step that caused it.
void TPoMsgThread::Step() {
    switch (ProcessState()) {
        case TProcessState::psInit:
            Advance(TProcessState::psInit, TProcessState::psDisoverShow, true);
            break;
        case TProcessState::psDisoverShow:
            if (Advance(TProcessState::psDisoverShow, TProcessState::psDiscovering, true))
                host_.PostDiscoverMenuCommand();
            break;
        case TProcessState::psDiscovering:
            if (Advance(TProcessState::psDiscovering, TProcessState::psIdle, false)) host_.PostDiscoverSearchClick();
            break;
        case TProcessState::psDiscoveredSingle:
            // The dialog has set its result already: the close returns OK.
            if (Advance(TProcessState::psDiscoveredSingle, TProcessState::psConnect, true)) host_.PostDiscoverClose();
            break;
        case TProcessState::psConnected:
            if (Advance(TProcessState::psConnected, TProcessState::psIdle, false)) host_.PostUpdateButtonClick();
            break;
        default:
            break;
    }
}

}  // namespace ckupdate
