// The frame around every exported call: wait at most 4000 ms for the interface
// mutex, run the worker, release.  Nothing escapes to the C caller: an exception
// inside a worker becomes the call's failure result.
#pragma once

#include "comm/api/library_state.h"
#include "comm/platform/named_mutex.h"

#include <cstdint>
#include <utility>

namespace tola {

inline constexpr std::uint32_t kInterfaceWaitMs = 4000;

// Called with the interface mutex just taken over from an owner that died
// holding it (comm/api/connection.cpp): that process may have ended in the
// middle of an exchange with the instrument this process is connected to.
void after_dead_owner() noexcept;

// Holds the interface mutex for one exported call.  A call that arrives while
// the library is being unloaded never touches the mutex and counts as busy.
class InterfaceLock {
public:
    InterfaceLock() : entered_(enter_call()) {
        bool owner_died = false;
        held_ = entered_ && interface_mutex().lock(kInterfaceWaitMs, &owner_died);
        if (held_ && owner_died) after_dead_owner();
    }
    ~InterfaceLock() {
        if (held_) interface_mutex().unlock();
        if (entered_) leave_call();
    }
    InterfaceLock(const InterfaceLock&) = delete;
    InterfaceLock& operator=(const InterfaceLock&) = delete;
    explicit operator bool() const { return held_; }

private:
    bool entered_;
    bool held_;
};

// Result values of the frame for one kind of export.
template <class R>
struct FrameResults {
    R busy;     // the mutex stayed busy for 4000 ms
    R failure;  // the worker failed unexpectedly
};

// Exports with a b/i/t prefix: 0 when busy or failed.
template <class R = std::int32_t>
inline constexpr FrameResults<R> kFlagResults{0, 0};
// Exports without a prefix: the wait time-out code when busy, nonzero when they ran.
inline constexpr FrameResults<std::int32_t> kPlainResults{TOLA_WAIT_TIMEOUT, 1};

template <class R, class Worker>
R serialised(FrameResults<R> results, Worker&& worker) noexcept {
    try {
        InterfaceLock lock;
        if (!lock) return results.busy;
        return std::forward<Worker>(worker)();
    } catch (...) {
        return results.failure;
    }
}

// Runs a worker that has no result of its own and reports the plain results.
template <class Worker>
std::int32_t serialised_plain(Worker&& worker) noexcept {
    return serialised(kPlainResults, [&]() -> std::int32_t {
        std::forward<Worker>(worker)();
        return 1;
    });
}

}  // namespace tola
