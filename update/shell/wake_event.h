// An auto-resetting event: a thread waits on it until another thread sets it;
// setting it again before the waiter has woken counts once.  The program's
// background threads sleep on one each, and the main window's timers set them.
#pragma once

#include <condition_variable>
#include <mutex>

namespace ckupdate {

class TWakeEvent {
public:
    void Set() {
        {
            std::lock_guard lock(mutex_);
            set_ = true;
        }
        cv_.notify_one();
    }
    // Blocks until the event is set, then clears it.
    void Wait() {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [this] { return set_; });
        set_ = false;
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool set_ = false;
};

}  // namespace ckupdate
