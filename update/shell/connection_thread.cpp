#include "update/shell/connection_thread.h"

#include "update/shell/interface_section.h"
#include "update/shell/shell_trace.h"

#include <exception>

namespace ckupdate {

TConnectionThread::TConnectionThread(ConnectionThreadHost& host, QObject* parent)
    : TSuspendedThread(parent), host_(host) {}

TConnectionThread::~TConnectionThread() {
    Terminate();
    wait();
}

// Created suspended: the first wake-up starts the thread and runs at once, so
// the first tick of the poll timer runs the first job.  An error in a run ends
// the thread without a message; no jobs run after that.
void TConnectionThread::run() {
    try {
        for (;;) {
            RunCycle();
            if (Terminated()) break;
            host_.StatusPollTimerResume();
            WaitForResume();
        }
    } catch (...) {
    }
}

void TConnectionThread::RunCycle() {
    TInterfaceLock lock;
    if (!lock.TryEnter()) {
        MainTrace("TfrmMain/TConnectionThread: csInterface not avail");
        return;
    }
    MainTrace("TfrmMain/TConnectionThread: csInterface.Acquired");
    try {
        Jobs();
    } catch (...) {
        lock.Leave();
        MainTrace("TfrmMain/TConnectionThread: csInterface.Released");
        throw;
    }
    lock.Leave();
    MainTrace("TfrmMain/TConnectionThread: csInterface.Released");
}

// Each test looks at the flags as the steps before have left them.
void TConnectionThread::Jobs() {
    TDeviceConnection& c = host_.Connection();
    if (c.JobFlags() & job::kWatchIdle) return;

    if (c.JobFlags() & job::kChooseInstrument) {
        MainTrace("TfrmMain/TConnectionThread: tj_ChooseInstrument");
        c.SetJobFlags(0);
        c.CloseDev();
        c.PortData().iPort = kPortUsb;
        host_.ChooseUsbInstrument();
    }
    if (c.JobFlags() & job::kCloseAndReconnect) {
        MainTrace("TfrmMain/TConnectionThread: tj_CloseAndReConnect");
        c.SetJobFlags(0);
        c.CloseDev();
        c.PortData().iPort = host_.PendingPort();
        Open(c);
    }
    if (c.JobFlags() & (job::kReconnect | job::kInitialConnect)) {
        MainTrace("TfrmMain/TConnectionThread: tj_ReconnectDev");
        Open(c);
    }
    const std::uint8_t flags = c.JobFlags();
    if ((flags & job::kTest) && !(flags & job::kWatchIdle)) {
        if (c.Api().CKPcomm_test()) {
            failed_tests_ = 0;
        } else {
            MainTrace("TfrmMain/TConnectionThread: ERROR - CKPcomm_test() failed");
            // Only a successful test resets the count: after a reconnect one
            // more failure closes the instrument again.
            if (++failed_tests_ >= kFailedTestsBeforeClose) {
                c.CloseDev();
                c.SetJobFlags(job::kReconnect);
            }
        }
    }
    if (c.JobFlags() & job::kWatchOpen) {
        MainTrace("TfrmMain/TConnectionThread: tj_WatchOpenDev");
        c.OpenDev();
    }
    if (c.JobFlags() & job::kDisconnect) {
        MainTrace("TfrmMain/TConnectionThread: tj_DisconnectDev");
        host_.StopStatusPolling();
        c.SetJobFlags(0);
        c.CloseDev();
    }
}

// A search that goes on (the watch-open job) is never held back: the host was
// asked before its first step.
void TConnectionThread::Open(TDeviceConnection& c) {
    if (c.PortData().iPort == kPortUsb && !c.Limit().Active() && !host_.MayOpenUsb()) return;
    c.OpenDev();
}

}  // namespace ckupdate
