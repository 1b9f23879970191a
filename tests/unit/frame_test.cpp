// The exported frame: serialisation by the interface mutex across threads and
// processes, the busy results, and the re-initialised flag.
#include "comm/api/library_state.h"
#include "comm/platform/clock.h"
#include "comm/platform/diagnostics.h"
#include "comm/platform/named_mutex.h"
#include "tola_comm.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using tola::platform::ms_since;
using tola::platform::tick_ms;

std::string mutex_name() { return std::getenv("TOLA_MUTEX_NAME"); }

// A second process that takes the interface mutex and keeps it until killed.
class ForeignHolder {
public:
    ForeignHolder() {
        int fds[2];
        if (::pipe(fds) != 0) std::abort();
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(fds[0]);
            tola::platform::NamedMutex mutex(mutex_name());
            const char ok = mutex.lock(1000) ? 'L' : 'F';
            (void)!::write(fds[1], &ok, 1);
            for (;;) ::pause();
        }
        ::close(fds[1]);
        char answer = 0;
        locked_ = ::read(fds[0], &answer, 1) == 1 && answer == 'L';
        ::close(fds[0]);
    }
    ~ForeignHolder() { kill(); }
    bool locked() const { return locked_; }
    void kill() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

private:
    pid_t pid_ = -1;
    bool locked_ = false;
};

TEST(InterfaceMutex, BusyCallsGiveUpAfterFourSecondsWithoutEffect) {
    ForeignHolder holder;
    ASSERT_TRUE(holder.locked());

    tola::library_state().poll_details = 1;
    const std::uint32_t start = tick_ms();
    EXPECT_EQ(0, bTOLA_comm_poll_set_details(9));
    const std::uint32_t waited = ms_since(start);
    EXPECT_GE(waited, 3900u);
    EXPECT_LT(waited, 8000u);
    EXPECT_EQ(1, tola::library_state().poll_details) << "a busy call must have no effect";

    // The functions without a prefix answer the wait time-out code.
    EXPECT_EQ(TOLA_WAIT_TIMEOUT, TOLA_comm_close());
}

TEST(InterfaceMutex, OwnerThatDiedCountsAsReleased) {
    ForeignHolder holder;
    ASSERT_TRUE(holder.locked());
    holder.kill();

    const std::uint32_t start = tick_ms();
    EXPECT_EQ(1, bTOLA_comm_poll_set_details(3));
    EXPECT_LT(ms_since(start), 1000u);
    EXPECT_EQ(3, tola::library_state().poll_details);
}

TEST(InterfaceMutex, RecursiveWithinOneThreadExclusiveBetweenThreads) {
    tola::platform::NamedMutex& mutex = tola::interface_mutex();
    ASSERT_TRUE(mutex.lock(100));
    // The owning thread may call exports while it holds the mutex.
    EXPECT_EQ(1, bTOLA_comm_poll_set_details(5));

    bool other_thread_got_it = true;
    std::thread other([&] {
        other_thread_got_it = mutex.lock(200);
        if (other_thread_got_it) mutex.unlock();
    });
    other.join();
    EXPECT_FALSE(other_thread_got_it);
    mutex.unlock();

    std::thread after([&] {
        other_thread_got_it = mutex.lock(200);
        if (other_thread_got_it) mutex.unlock();
    });
    after.join();
    EXPECT_TRUE(other_thread_got_it);
}

TEST(InterfaceMutex, TimedOutOpenStillMarksReinitialised) {
    tola::library_state().reinitialised = false;
    {
        ForeignHolder holder;
        ASSERT_TRUE(holder.locked());
        PXM_COMM comm{};
        comm.dSize = sizeof comm;
        EXPECT_EQ(0, iTOLA_comm_poll_initialize(&comm));
    }
    EXPECT_TRUE(tola::library_state().reinitialised);
    // The next poll reports nothing once and clears the flag.
    COMM_MEASUREMENT m{};
    EXPECT_EQ(0, bTOLA_comm_poll_measurements(&m, 0));
    EXPECT_FALSE(tola::library_state().reinitialised);
}

TEST(InterfaceMutex, SharedObjectOthersMayWriteIsNotUsed) {
    // Someone left the shared object writable for everybody: whoever can write
    // it can break the lock of every process that uses it.
    const std::string name = mutex_name() + ".open";
    const std::string object = "/" + name + "." + std::to_string(::getuid());
    const int fd = ::shm_open(object.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(0, ::fchmod(fd, 0666));
    ::close(fd);

    std::vector<std::string> said;
    tola::platform::set_message_box_sink(
        [&](std::string_view caption, std::string_view text) { said.push_back(std::string(caption) + ": " + std::string(text)); });
    {
        tola::platform::NamedMutex first(name);
        EXPECT_FALSE(first.is_shared());
        EXPECT_TRUE(first.lock(100)) << "the process-local lock still serialises";
        first.unlock();
        tola::platform::NamedMutex second(name);
        EXPECT_FALSE(second.is_shared());
    }
    tola::platform::set_message_box_sink({});
    ::shm_unlink(object.c_str());
    ASSERT_EQ(1u, said.size()) << "said once";
    EXPECT_NE(std::string::npos, said[0].find(name));
    EXPECT_EQ(0u, said[0].rfind("TOLA_comm: ", 0));
}

TEST(InterfaceMutex, OwnSharedObjectIsShared) {
    tola::platform::NamedMutex mutex(mutex_name());
    EXPECT_TRUE(mutex.is_shared());
}

TEST(InterfaceMutex, VersionFunctionsNeverWait) {
    ForeignHolder holder;
    ASSERT_TRUE(holder.locked());
    const std::uint32_t start = tick_ms();
    DLL_VERSION v{};
    TOLA_Get_Dll_version(&v);
    TOLA_Get_Dll_version_ex(&v, sizeof v);
    EXPECT_LT(ms_since(start), 1000u);
    EXPECT_EQ(385u, v.dBuild);
}

}  // namespace
