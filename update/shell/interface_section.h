// csInterface: the one critical section that keeps the connection thread's job
// runs and the main window's menu actions apart.  The connection thread only
// tries to enter it (a busy section skips its cycle); the menu actions wait.
// Re-entrant for the thread that holds it, like the section it replaces.
#pragma once

#include <QRecursiveMutex>

namespace ckupdate {

QRecursiveMutex& csInterface();

// Holds csInterface for a scope.  Enter() waits; TryEnter() does not.
class TInterfaceLock {
public:
    TInterfaceLock() = default;
    ~TInterfaceLock() { Leave(); }
    TInterfaceLock(const TInterfaceLock&) = delete;
    TInterfaceLock& operator=(const TInterfaceLock&) = delete;

    void Enter();
    bool TryEnter();
    void Leave();
    bool Held() const { return held_; }

private:
    bool held_ = false;
};

}  // namespace ckupdate
