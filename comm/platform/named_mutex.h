// The interface mutex shared by every process of one user that loads the
// library: recursive for its owning thread, waited for with a time limit, and
// an owner that died while holding it counts as having released it.
//
// It lives in POSIX shared memory ("/<name>.<uid>") as a robust, recursive,
// process-shared pthread mutex.  The shared object is used only when it
// belongs to the calling user and nobody else may write it.  When it cannot be
// used the lock degrades to a process-local recursive timed mutex, and the
// process says so once on standard error: two processes no longer exclude
// each other then.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace tola::platform {

class NamedMutex {
public:
    // Opens (creating when needed) the mutex called `name`.
    explicit NamedMutex(const std::string& name);
    // Unmaps the shared block.  Only while no thread of this process holds it.
    ~NamedMutex();
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    // Waits at most timeout_ms; true when the calling thread now holds the
    // mutex (also when the previous owner died holding it: then *owner_died,
    // when given, is set true, else false).
    bool lock(std::uint32_t timeout_ms, bool* owner_died = nullptr);
    void unlock();

    // True when the mutex is shared between processes (false: process-local fallback).
    bool is_shared() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tola::platform
