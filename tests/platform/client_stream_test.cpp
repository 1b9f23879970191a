// The byte stream both Bluetooth clients serve the library with: reads that
// never wait, writes that go out whole, and a status that follows the peer.
#include "btclient/client_stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tola::btclient {
namespace {

int peer_of(ClientStream& stream) {
    int fds[2];
    EXPECT_EQ(0, ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds));
    ::fcntl(fds[0], F_SETFL, ::fcntl(fds[0], F_GETFL) | O_NONBLOCK);  // the client's end, as connected
    stream.open(fds[0]);
    return fds[1];
}

TEST(ClientStream, ReadsWhatArrivedWithoutWaitingAndWritesWhole) {
    ClientStream stream;
    const int peer = peer_of(stream);
    std::array<std::uint8_t, 16> buffer{};
    uint32_t n = 99;
    EXPECT_EQ(1, stream.read(buffer.data(), buffer.size(), &n)) << "nothing there is no failure";
    EXPECT_EQ(0u, n);

    const std::uint8_t out[] = {1, 2, 3};
    ASSERT_EQ(3, ::write(peer, out, 3));
    EXPECT_EQ(1, stream.read(buffer.data(), buffer.size(), &n));
    EXPECT_EQ(3u, n);
    EXPECT_EQ(3, buffer[2]);

    std::vector<std::uint8_t> big(100000, 0xA5);
    uint32_t written = 0;
    std::thread reader([&] {
        std::vector<std::uint8_t> sink(big.size());
        std::size_t got = 0;
        while (got < sink.size()) {
            const ssize_t r = ::read(peer, sink.data() + got, sink.size() - got);
            if (r <= 0) break;
            got += static_cast<std::size_t>(r);
        }
        EXPECT_EQ(big.size(), got);
    });
    EXPECT_EQ(1, stream.write(big.data(), static_cast<uint32_t>(big.size()), &written));
    reader.join();
    EXPECT_EQ(big.size(), written);
    ::close(peer);
}

TEST(ClientStream, ClearDropsWhatArrivedAndStatusFollowsThePeer) {
    ClientStream stream;
    const int peer = peer_of(stream);
    const int32_t handle = 1;
    EXPECT_EQ(1, stream.status(handle));
    EXPECT_EQ(0, stream.status(handle + 1)) << "another connection's handle";

    const std::uint8_t junk[] = {9, 9, 9};
    ASSERT_EQ(3, ::write(peer, junk, 3));
    EXPECT_EQ(1, stream.clear());
    std::array<std::uint8_t, 4> buffer{};
    uint32_t n = 0;
    EXPECT_EQ(1, stream.read(buffer.data(), buffer.size(), &n));
    EXPECT_EQ(0u, n);

    ::close(peer);
    EXPECT_EQ(0, stream.status(handle));
    stream.close();
    EXPECT_EQ(0, stream.read(buffer.data(), buffer.size(), &n)) << "no connection";
    uint32_t w = 0;
    EXPECT_EQ(0, stream.write(buffer.data(), 1, &w));
    EXPECT_EQ(0, stream.clear());
}

TEST(ClientStream, HandlesCountUpAndWrapWithoutZero) {
    ClientStream stream;
    std::vector<int32_t> handles;
    for (int i = 0; i < 0x7FFF + 2; ++i) {
        int fds[2];
        ASSERT_EQ(0, ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds));
        ::close(fds[1]);
        const int32_t h = stream.open(fds[0]);
        if (i < 2 || i >= 0x7FFE) handles.push_back(h);
        ASSERT_GT(h, 0);
    }
    EXPECT_EQ((std::vector<int32_t>{1, 2, 0x7FFF, 1, 2}), handles);
}

TEST(ClientStream, DeviceRecordsAreCutToFitAndPadded) {
    BT_DEVICE record;
    std::memset(&record, 0x7F, sizeof record);
    put_device(record, "00:11:22:33:44:55", std::string(300, 'n'));
    EXPECT_STREQ("00:11:22:33:44:55", record.snBtAddress);
    EXPECT_EQ(0, record.snBtAddress[sizeof(TMNAME) - 1]);
    EXPECT_EQ(sizeof(TMNAME) - 1, std::strlen(record.snBtDeviceName));
}

}  // namespace
}  // namespace tola::btclient
