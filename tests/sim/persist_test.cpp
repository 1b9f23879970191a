// chromatik-sim --persist: an instrument killed with SIGKILL comes back, when the
// program is started again with the same options, with the firmware its flash
// holds and the settings it had stored (state 53), not those merely written.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "sim/firmware_header.h"
#include "tests/sim/sim_test_support.h"

namespace tola::sim::test {
namespace {

constexpr std::uint32_t kHeader = 0x0800C000;

// One chromatik-sim process; its standard output is read up to the state line.
class SimProcess {
public:
    explicit SimProcess(std::vector<std::string> args) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);
            std::vector<char*> argv{const_cast<char*>(CHROMATIK_SIM_PATH)};
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(CHROMATIK_SIM_PATH, argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        out_ = out[0];
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (text_.find("\nstate ") == std::string::npos && text_.rfind("state ", 0) != 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            pollfd p{out_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
            char buffer[512];
            const long n = ::read(out_, buffer, sizeof buffer);
            if (n <= 0) break;
            text_.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ~SimProcess() {
        kill_hard();
        ::close(out_);
    }
    void kill_hard() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    // A word that follows `key ` on the instrument's line.
    std::string field(const std::string& key) const {
        const auto at = text_.find(" " + key + " ");
        if (at == std::string::npos) return {};
        const auto from = at + key.size() + 2;
        return text_.substr(from, text_.find_first_of(" \n", from) - from);
    }
    ChannelClient connect() const {
        auto c = ChannelClient::connect(field("socket"));
        if (!c) throw std::runtime_error("no socket in: " + text_);
        return std::move(*c);
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string text_;
};

TEST(Persist, KilledInstrumentComesBackWithItsFlashAndStoredSettings) {
    TempDir dir;
    // New firmware keeps the stored settings here, so both can be seen at once.
    const std::vector<std::string> args{"--usb-dir",         (dir.path() / "usb").string(),
                                        "--persist",         (dir.path() / "keep").string(),
                                        "--command-delay-ms", "0",
                                        "--reset-settings",  "0"};
    const StructureLayout layout = Instrument(stm32_config()).layout();
    const std::uint32_t settings = layout.addresses[tw::kSettings];
    const std::uint32_t host = layout.addresses[tw::kHost];
    const auto header = make_firmware_header("512bLE", "May 1, 2024");
    {
        SimProcess sim(args);
        ASSERT_EQ(sim.field("firmware"), "511vLE");
        auto c = sim.connect();
        ASSERT_EQ(ctl_write(c, 2, settings, Bytes(16, 0xEE)), 8);
        Bytes store(8, 0);
        put_le32(store, 0, 0x2);
        put_le32(store, 4, 53);
        ASSERT_EQ(ctl_write(c, 2, host, store), 8);
        ASSERT_EQ(ctl_write(c, 2, settings, Bytes(16, 0x77)), 8);  // never stored
        // New firmware in flash; the instrument is killed before command 10.
        ASSERT_TRUE(ctl_command(c, 11, 0));
        ASSERT_TRUE(ctl_command(c, 9, 3));
        ASSERT_EQ(ctl_write(c, 4, kHeader + 0x40, Bytes(64, 0x5A)), 8);
        ASSERT_EQ(ctl_write(c, 4, kHeader, Bytes(header.begin(), header.end())), 8);
        sim.kill_hard();
    }
    {
        SimProcess sim(args);
        EXPECT_EQ(sim.field("firmware"), "512bLE");
        auto c = sim.connect();
        EXPECT_EQ(ctl_read(c, 1, settings, 16), Bytes(16, 0xEE));
        EXPECT_EQ(ctl_read(c, 3, kHeader + 0x40, 16), Bytes(16, 0x5A));
        // Killed again halfway through the next update: the header block is erased.
        ASSERT_TRUE(ctl_command(c, 11, 0));
        ASSERT_TRUE(ctl_command(c, 9, 3));
        sim.kill_hard();
    }
    SimProcess sim(args);
    auto c = sim.connect();
    EXPECT_FALSE(ctl_read(c, 1, settings, 16)) << "only the boot loader may answer";
    EXPECT_EQ(ctl_read(c, 3, kHeader, 16), Bytes(16, 0xFF));
}

}  // namespace
}  // namespace tola::sim::test
