// A background thread of the program, created suspended: the first Resume
// starts it, every later one wakes it from WaitForResume.  Terminate asks it to
// end and wakes it; the thread looks at Terminated after each wake-up.  The
// derived thread's destructor terminates and waits for it.
#pragma once

#include "update/shell/wake_event.h"

#include <QThread>

#include <atomic>

namespace ckupdate {

class TSuspendedThread : public QThread {
public:
    using QThread::QThread;

    void Resume() {
        if (!started_) {
            started_ = true;
            start();
            return;
        }
        wake_.Set();
    }
    void Terminate() {
        terminated_.store(true);
        wake_.Set();
    }
    bool Terminated() const { return terminated_.load(); }

protected:
    void WaitForResume() { wake_.Wait(); }

private:
    TWakeEvent wake_;
    std::atomic<bool> terminated_{false};
    bool started_ = false;
};

}  // namespace ckupdate
