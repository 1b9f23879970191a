// Ctrl-C, SIGTERM and SIGHUP during a stretch of work that must not be cut off.
// Outside such a stretch the signals end the process as usual.  Inside it the
// first signal is answered once, on standard error, with a text that says why
// and how long the work still takes; the third asks the work to stop at its next
// safe point (the process is not ended by the signal).  SIGHUP inside the
// stretch only means the terminal is gone: it is not counted.
#pragma once

#include <cstdint>

namespace tola::os {

class InterruptGuard {
public:
    InterruptGuard();   // installs the handlers (one guard per process)
    ~InterruptGuard();  // puts the previous handlers back

    // Between Enter and Leave the signals do not end the process.
    void Enter();
    void Leave();
    // The seconds the work still takes, for the answer to the first signal.
    void SetRemainingSeconds(std::uint32_t seconds);
    // True once the third signal came inside the stretch.
    bool AbortRequested() const;
    int SignalsReceived() const;
};

// Signals answered inside any stretch since the process started (never reset):
// a run of several updates starts no further one after any of them.
int interrupts_received();

}  // namespace tola::os
