// The shared socket helpers: what a whole-buffer receive reports for each way
// a peer can stop, and listening sockets that can be connected the moment
// their name appears.
#include "platform/unix_socket.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include <sys/socket.h>
#include <unistd.h>

namespace tola::os {
namespace {

using namespace std::chrono_literals;

struct Pair {
    Fd a, b;
};

Pair socket_pair() {
    int fds[2];
    EXPECT_EQ(0, ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds));
    return Pair{Fd(fds[0]), Fd(fds[1])};
}

std::vector<std::uint8_t> bytes(std::initializer_list<std::uint8_t> b) { return b; }

TEST(ReceiveUntil, TellsAFullBufferFromEveryWayThePeerCanStop) {
    {
        auto p = socket_pair();
        ASSERT_TRUE(send_all(p.a, bytes({1, 2, 3, 4}), 1s));
        std::array<std::uint8_t, 4> buffer{};
        EXPECT_EQ(Received::All, receive_until(p.b, buffer, std::chrono::steady_clock::now() + 1s));
        EXPECT_EQ(4, buffer[3]);
    }
    {
        auto p = socket_pair();
        p.a.reset();
        std::array<std::uint8_t, 4> buffer{};
        EXPECT_EQ(Received::EndBeforeAny, receive_until(p.b, buffer, std::chrono::steady_clock::now() + 1s));
    }
    {
        auto p = socket_pair();
        ASSERT_TRUE(send_all(p.a, bytes({1, 2}), 1s));
        p.a.reset();
        std::array<std::uint8_t, 4> buffer{};
        EXPECT_EQ(Received::Broken, receive_until(p.b, buffer, std::chrono::steady_clock::now() + 1s));
    }
    {
        // Half a message and a deadline already passed: no wait, and not mistaken for a close.
        auto p = socket_pair();
        ASSERT_TRUE(send_all(p.a, bytes({1, 2}), 1s));
        std::array<std::uint8_t, 4> buffer{};
        EXPECT_EQ(Received::TimedOut, receive_until(p.b, buffer, std::chrono::steady_clock::now()));
        EXPECT_FALSE(receive_exact(p.b, buffer, 0ms));
    }
}

TEST(SendUntil, GivesUpWhenThePeerStopsReading) {
    auto p = socket_pair();
    // More than the socket buffers hold, to a peer that never reads.
    std::vector<std::uint8_t> big(8 * 1024 * 1024, 0x55);
    EXPECT_FALSE(send_until(p.a, big, std::chrono::steady_clock::now() + 50ms));
    p.b.reset();
    EXPECT_FALSE(send_all(p.a, bytes({1}), 1s)) << "a closed peer is a failure, not a signal";
}

class ListenAt : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tola-os-XXXXXX";
        ASSERT_NE(nullptr, ::mkdtemp(pattern));
        dir_ = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    std::filesystem::path dir_;
};

TEST_F(ListenAt, TheSocketTakesConnectionsOnceItsNameIsThere) {
    std::string error;
    const auto path = dir_ / "a" / "b" / "dev0";
    Fd listener = listen_at(path, error);
    ASSERT_TRUE(listener) << error;
    EXPECT_TRUE(std::filesystem::is_socket(path));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "a" / "b" / ".dev0.new")) << "the passing name is gone";

    Fd client = connect_to(path);
    ASSERT_TRUE(client);
    Fd served = accept_from(listener);
    ASSERT_TRUE(served);
    EXPECT_FALSE(accept_from(listener)) << "nobody else waits";
    ASSERT_TRUE(send_all(client, bytes({7}), 1s));
    std::array<std::uint8_t, 1> got{};
    EXPECT_TRUE(receive_exact(served, got, 1s));
    EXPECT_EQ(7, got[0]);
}

TEST_F(ListenAt, AStaleSocketIsReplacedAndAnOverlongPathRefused) {
    std::string error;
    const auto path = dir_ / "dev0";
    {
        Fd first = listen_at(path, error);
        ASSERT_TRUE(first) << error;
    }  // closed, its file left behind as after a crash
    EXPECT_FALSE(connect_to(path));
    Fd second = listen_at(path, error);
    ASSERT_TRUE(second) << error;
    EXPECT_TRUE(connect_to(path));

    EXPECT_FALSE(listen_at(dir_ / std::string(200, 'x'), error));
    EXPECT_NE(std::string::npos, error.find("too long")) << error;
}

TEST(WakeEvent, WakesAPollUntilDrained) {
    WakeEvent wake;
    std::vector<pollfd> fds{pollfd{wake.fd(), POLLIN, 0}};
    EXPECT_EQ(0, wait_for(fds, 0));
    wake.signal();
    wake.signal();
    EXPECT_EQ(1, wait_for(fds, 0));
    wake.drain();
    EXPECT_EQ(0, wait_for(fds, 0));
}

}  // namespace
}  // namespace tola::os
