#include "comm/platform/named_mutex.h"

#include "comm/platform/diagnostics.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(TOLA_TSAN)
#include <sanitizer/tsan_interface.h>
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <mutex>

namespace tola::platform {
namespace {

constexpr std::uint32_t kInitialisedMagic = 0x4D434B50;  // "PKCM"

struct SharedBlock {
    std::uint32_t magic;
    pthread_mutex_t mutex;
};

timespec deadline_after(std::uint32_t timeout_ms) {
    timespec t{};
    ::clock_gettime(CLOCK_MONOTONIC, &t);
    t.tv_sec += static_cast<time_t>(timeout_ms / 1000u);
    t.tv_nsec += static_cast<long>(timeout_ms % 1000u) * 1000000L;
    if (t.tv_nsec >= 1000000000L) {
        t.tv_sec += 1;
        t.tv_nsec -= 1000000000L;
    }
    return t;
}

#if defined(TOLA_TSAN)
// ThreadSanitizer does not see pthread_mutex_clocklock, and would then report
// every unlock as unpaired. Its build waits on the realtime clock instead, in
// slices, so that the deadline stays the monotonic one whatever the wall
// clock does.
int wait_for(pthread_mutex_t* mutex, const timespec& deadline) {
    constexpr long kSliceNs = 100000000L;
    for (;;) {
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        long long left_ns = (static_cast<long long>(deadline.tv_sec) - now.tv_sec) * 1000000000LL +
                            (deadline.tv_nsec - now.tv_nsec);
        if (left_ns <= 0) {
            const int rc = pthread_mutex_trylock(mutex);
            return rc == EBUSY ? ETIMEDOUT : rc;
        }
        if (left_ns > kSliceNs) left_ns = kSliceNs;
        timespec until{};
        ::clock_gettime(CLOCK_REALTIME, &until);
        until.tv_nsec += static_cast<long>(left_ns);
        if (until.tv_nsec >= 1000000000L) {
            until.tv_sec += 1;
            until.tv_nsec -= 1000000000L;
        }
        const int rc = pthread_mutex_timedlock(mutex, &until);
        if (rc == EOWNERDEAD) {
            // The sanitizer's interceptor records only a plain success, yet a
            // mutex taken over from an owner that died is ours just the same.
            __tsan_mutex_pre_lock(mutex, __tsan_mutex_try_lock);
            __tsan_mutex_post_lock(mutex, __tsan_mutex_try_lock, 0);
        }
        if (rc != ETIMEDOUT) return rc;
    }
}

// The same for the mutex of this process alone: the standard library's timed
// wait on the steady clock is pthread_mutex_clocklock as well.
bool wait_for(std::recursive_timed_mutex& mutex, std::uint32_t timeout_ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        const auto left = deadline - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero()) return mutex.try_lock();
        const auto slice = std::min<std::chrono::steady_clock::duration>(left, std::chrono::milliseconds(100));
        if (mutex.try_lock_until(std::chrono::system_clock::now() + slice)) return true;
    }
}
#else
int wait_for(pthread_mutex_t* mutex, const timespec& deadline) {
    return pthread_mutex_clocklock(mutex, CLOCK_MONOTONIC, &deadline);
}

bool wait_for(std::recursive_timed_mutex& mutex, std::uint32_t timeout_ms) {
    return mutex.try_lock_for(std::chrono::milliseconds(timeout_ms));
}
#endif

// Anyone who may write the block may also wreck the mutex in it: the object
// must be the calling user's own and closed to everybody else.
bool trustworthy(const struct stat& st) {
    return S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// Maps the shared block, initialising the mutex exactly once: the first
// process to take the file lock finds no magic and sets the mutex up.
SharedBlock* map_shared_block(const std::string& name) {
    const std::string shm_name = "/" + name + "." + std::to_string(::getuid());
    const int fd = ::shm_open(shm_name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return nullptr;
    SharedBlock* block = nullptr;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && trustworthy(st) && ::flock(fd, LOCK_EX) == 0) {
        bool sized = ::fstat(fd, &st) == 0 &&
                     (st.st_size >= static_cast<off_t>(sizeof(SharedBlock)) ||
                      ::ftruncate(fd, static_cast<off_t>(sizeof(SharedBlock))) == 0);
        if (sized) {
            void* p = ::mmap(nullptr, sizeof(SharedBlock), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
            if (p != MAP_FAILED) block = static_cast<SharedBlock*>(p);
        }
        if (block != nullptr && block->magic != kInitialisedMagic) {
            pthread_mutexattr_t attr;
            pthread_mutexattr_init(&attr);
            pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
            pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
            pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
            const bool ok = pthread_mutex_init(&block->mutex, &attr) == 0;
            pthread_mutexattr_destroy(&attr);
            if (ok) {
                block->magic = kInitialisedMagic;
            } else {
                ::munmap(block, sizeof(SharedBlock));
                block = nullptr;
            }
        }
        ::flock(fd, LOCK_UN);
    }
    ::close(fd);
    return block;
}

// Said once while the library is loaded, on standard error.
void warn_process_local(const std::string& name) {
    static std::atomic<bool> warned{false};
    if (warned.exchange(true)) return;
    message_box("TOLA_comm", "the shared interface mutex \"" + name +
                                 "\" cannot be used; calls are serialised within this process only");
}

}  // namespace

struct NamedMutex::Impl {
    SharedBlock* shared = nullptr;
    std::recursive_timed_mutex local;
};

NamedMutex::NamedMutex(const std::string& name) : impl_(std::make_unique<Impl>()) {
    impl_->shared = map_shared_block(name);
    if (impl_->shared == nullptr) warn_process_local(name);
}

// While a thread of this process holds the mutex the block must stay mapped:
// should the process end then, the kernel hands the abandoned mutex on to the
// next waiter only through the mapping.  The owner destroys this object only
// when no thread can hold it (library unload with no call in flight).
NamedMutex::~NamedMutex() {
    if (impl_->shared != nullptr) ::munmap(impl_->shared, sizeof(SharedBlock));
}

bool NamedMutex::is_shared() const { return impl_->shared != nullptr; }

bool NamedMutex::lock(std::uint32_t timeout_ms, bool* owner_died) {
    if (owner_died != nullptr) *owner_died = false;
    if (impl_->shared == nullptr) return wait_for(impl_->local, timeout_ms);
    const timespec deadline = deadline_after(timeout_ms);
    for (;;) {
        const int rc = wait_for(&impl_->shared->mutex, deadline);
        if (rc == 0) return true;
        if (rc == EOWNERDEAD) {
            // The previous owner ended without releasing: the mutex is ours now.
            pthread_mutex_consistent(&impl_->shared->mutex);
            if (owner_died != nullptr) *owner_died = true;
            return true;
        }
        if (rc == EINTR) continue;
        return false;  // ETIMEDOUT, or a mutex that can no longer be used
    }
}

void NamedMutex::unlock() {
    if (impl_->shared == nullptr) {
        impl_->local.unlock();
        return;
    }
    pthread_mutex_unlock(&impl_->shared->mutex);
}

}  // namespace tola::platform
