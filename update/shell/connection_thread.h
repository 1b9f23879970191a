// TConnectionThread: carries out the job flags of the main window.  It opens
// the instrument at start-up, keeps trying while none answers, tests a connected
// instrument on every run, closes it after three failed tests in a row or on
// request, and switches between USB and Bluetooth.  Before it opens over USB
// without a chosen instrument, its host may have the user choose one of
// several.  It sleeps until the main
// window's poll timer wakes it; each wake-up is one run ("cycle").
#pragma once

#include "update/device/device_connection.h"
#include "update/shell/suspended_thread.h"

#include <cstdint>

namespace ckupdate {

// What the connection thread needs from the main window.  Every member may be
// called from the connection thread.
class ConnectionThreadHost {
public:
    virtual ~ConnectionThreadHost() = default;
    // Lets the poll timer run again (the thread is about to sleep).
    virtual void StatusPollTimerResume() = 0;
    // The disconnect job stops polling until a menu action starts it again.
    virtual void StopStatusPolling() = 0;
    virtual TDeviceConnection& Connection() = 0;
    // The port of the next close-and-reconnect job (1 USB, 500 Bluetooth).
    virtual std::uint32_t PendingPort() const = 0;
    // Before an open over USB that no chosen instrument limits (the connection
    // is closed): true when the open may run now.  False when several
    // instruments answer and the user is asked (or still is) which one to
    // connect; the answer sets the search limit and the next job.
    virtual bool MayOpenUsb() { return true; }
    // The job "choose the instrument", after the connection was closed: the
    // user is asked which of the instruments attached over USB to connect.
    virtual void ChooseUsbInstrument() {}
};

inline constexpr int kFailedTestsBeforeClose = 3;

class TConnectionThread : public TSuspendedThread {
    Q_OBJECT
public:
    explicit TConnectionThread(ConnectionThreadHost& host, QObject* parent = nullptr);
    ~TConnectionThread() override;

    // Resume wakes the thread for one run; after Terminate it ends after the run
    // it is woken for next.

    // One run: tries to enter csInterface and works on the job flags.  Errors
    // are passed on (they end the thread).  Public so that tests can drive runs
    // without the thread.
    void RunCycle();
    int FailedTests() const { return failed_tests_; }

protected:
    void run() override;

private:
    void Jobs();
    // Opens unless the host holds the open back for the user's choice.
    void Open(TDeviceConnection& c);

    ConnectionThreadHost& host_;
    int failed_tests_ = 0;
};

}  // namespace ckupdate
