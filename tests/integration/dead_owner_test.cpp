// A process that dies holding the interface mutex in the middle of an exchange
// with a USB instrument: the next owner's calls must find a clean link, and the
// instrument must not take their requests for the dead process's data.
#include "comm/platform/named_mutex.h"
#include "comm/platform/usb_channel.h"
#include "comm/platform/usb_channel_frame.h"
#include "sim_fixture.h"

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace tola::testing {
namespace {

using sim::EventKind;

constexpr std::uint32_t kRamWriteCode = 2, kRamReadCode = 1;
constexpr std::uint32_t kTarget = 0x20000400;

std::array<std::uint8_t, 12> request_block(std::uint8_t code, std::uint32_t address, std::uint16_t length, bool read) {
    std::array<std::uint8_t, 12> b{};
    b[2] = code;
    std::memcpy(&b[4], &address, 4);
    b[8] = static_cast<std::uint8_t>(length & 0xFF);
    b[9] = static_cast<std::uint8_t>(length >> 8);
    b[10] = read ? 1 : 0;
    return b;
}

// Another process of the same user: once told the socket, it takes the interface
// mutex, opens its own connection, sends the first request of an exchange and
// dies without finishing it (and without releasing the mutex).
class DyingOwner {
public:
    explicit DyingOwner(std::array<std::uint8_t, 12> first_request) {
        int to_child[2], from_child[2];
        if (::pipe(to_child) != 0 || ::pipe(from_child) != 0) std::abort();
        // Forked before the simulator starts its threads: the child may use anything.
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(to_child[1]);
            ::close(from_child[0]);
            char path[512] = {};
            if (::read(to_child[0], path, sizeof path - 1) <= 0) ::_exit(1);
            platform::NamedMutex mutex(std::getenv("TOLA_MUTEX_NAME"));
            const int handle = platform::usb_open_path(path);
            bool sent = handle >= 0 && mutex.lock(2000);
            sent = sent && platform::usb_ioctl(handle, usbchannel::kSendBlock, first_request, {}, 3000).success;
            const char answer = sent ? 'S' : 'F';
            (void)!::write(from_child[1], &answer, 1);
            ::_exit(0);  // the mutex is still held, the exchange still open
        }
        ::close(to_child[0]);
        ::close(from_child[1]);
        to_child_ = to_child[1];
        from_child_ = from_child[0];
    }
    ~DyingOwner() {
        ::close(to_child_);
        ::close(from_child_);
        if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
    }

    // True when the child sent its request and has ended.
    bool run(const std::string& socket) {
        if (::write(to_child_, socket.c_str(), socket.size()) != static_cast<ssize_t>(socket.size())) return false;
        char answer = 0;
        const bool sent = ::read(from_child_, &answer, 1) == 1 && answer == 'S';
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
        return sent;
    }

private:
    pid_t pid_ = -1;
    int to_child_ = -1;
    int from_child_ = -1;
};

class DeadOwner : public SimTest {};

TEST_F(DeadOwner, ExchangeCutOffByAKilledOwnerLeavesTheNextCallsIntact) {
    const struct {
        const char* what;
        std::array<std::uint8_t, 12> first_request;
    } cases[] = {
        {"a write announced, its data never sent", request_block(kRamWriteCode, kTarget, 64, false)},
        {"a read asked, its data never fetched", request_block(kRamReadCode, kTarget, 64, true)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DyingOwner owner(c.first_request);
        sim::Instrument& instrument = start(config(4));
        ASSERT_EQ(1, connect());
        const auto before = instrument.peek(kTarget, 64);
        ASSERT_TRUE(before);
        instrument.journal().clear();

        ASSERT_TRUE(owner.run(instrument.socket_path().string()));

        std::array<std::uint8_t, 64> read{};
        EXPECT_EQ(1, bTOLA_comm_Controller_read(read.data(), kTarget, 64)) << "the first call after the death";
        EXPECT_EQ(0, std::memcmp(read.data(), before->data(), read.size()));
        EXPECT_EQ(before, instrument.peek(kTarget, 64)) << "the instrument's memory is as it was";
        EXPECT_EQ(0u, instrument.journal().count(EventKind::MemoryWrite));
        COMM_USB_HOST query{};
        query.qdWord[0] = 0x80000000;
        query.qdWord[1] = 21;
        query.qdWord[14] = 300;
        EXPECT_EQ(1, bTOLA_comm_send_command(&query));
        EXPECT_EQ(5324u, query.qdWord[3]);
        TearDown();
        SetUp();
    }
}

// With several instruments attached, the reconnect after the death and a later
// reopen both go back to the socket the search took, never to the first one.
TEST_F(DeadOwner, ReconnectAndReopenGoBackToTheSocketTheSearchTook) {
    DyingOwner owner(request_block(kRamReadCode, kTarget, 64, true));
    std::vector<sim::InstrumentConfig> configs{config(4), config(4)};
    configs[1].serial = "H51235";
    start_all(configs);
    pin("H51235", "");
    ASSERT_EQ(1, connect());
    sim_->instrument(0).journal().clear();
    ASSERT_TRUE(owner.run(sim_->instrument(1).socket_path().string()));
    std::array<std::uint8_t, 64> read{};
    EXPECT_EQ(1, bTOLA_comm_Controller_read(read.data(), kTarget, 64));
    usb::close();
    usb::usb_state().last_success_tick.reset();  // the reopen must ask the device itself
    EXPECT_TRUE(usb::open_and_test());
    EXPECT_EQ(0u, sim_->instrument(0).journal().count(EventKind::Request));
}

}  // namespace
}  // namespace tola::testing
