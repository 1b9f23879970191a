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

void TPoMsgThread::SetStateDirectly(TProcessState state) {
    std::lock_guard lock(state_mutex_);
    FProcessState = state;
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

void TPoMsgThread::Step() {
    switch (ProcessState()) {
        case TProcessState::psInit:
            SetProcessState(TProcessState::psDisoverShow);
            break;
        case TProcessState::psDisoverShow:
            host_.PostDiscoverMenuCommand();
            SetProcessState(TProcessState::psDiscovering);
            break;
        case TProcessState::psDiscovering:
            host_.PostDiscoverSearchClick();
            SetStateDirectly(TProcessState::psIdle);
            break;
        case TProcessState::psDiscoveredSingle:
            // The dialog has set its result already: the close returns OK.
            host_.PostDiscoverClose();
            SetProcessState(TProcessState::psConnect);
            break;
        case TProcessState::psConnected:
            host_.PostUpdateButtonClick();
            SetStateDirectly(TProcessState::psIdle);
            break;
        default:
            break;
    }
}

}  // namespace ckupdate
