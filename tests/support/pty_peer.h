// A pseudo-terminal pair for the serial link: the library opens the slave
// through TOLA_COM<n>, the test plays the instrument on the master, either
// with raw scripted bytes or with a ScriptedInstrument served by a thread.
#pragma once

#include "tests/support/scripted_instrument.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace tola::testing {

class PtyPeer {
public:
    PtyPeer() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
            throw std::runtime_error("no pseudo-terminal");
        slave_ = ::ptsname(master_);
    }
    ~PtyPeer() {
        stop();
        ::close(master_);
    }
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    const std::string& slave_path() const { return slave_; }
    void expose_as_port(int n) const { ::setenv(("TOLA_COM" + std::to_string(n)).c_str(), slave_.c_str(), 1); }

    // Serves the instrument until stop(); replies keep their delays.
    void serve(ScriptedInstrument& instrument) {
        stop();
        running_ = true;
        thread_ = std::thread([this, &instrument] { run(instrument); });
    }
    void stop() {
        running_ = false;
        if (thread_.joinable()) thread_.join();
    }

    void send(const std::vector<std::uint8_t>& bytes) const {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n <= 0) throw std::runtime_error("pseudo-terminal write failed");
            done += static_cast<std::size_t>(n);
        }
    }

    // What the library wrote, until `quiet_ms` pass without a byte.
    std::vector<std::uint8_t> received(int quiet_ms = 100) const {
        std::vector<std::uint8_t> out;
        std::uint8_t buffer[4096];
        for (;;) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, quiet_ms) <= 0 || (p.revents & POLLIN) == 0) return out;
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n <= 0) return out;
            out.insert(out.end(), buffer, buffer + n);
        }
    }

private:
    void run(ScriptedInstrument& instrument) {
        std::uint8_t buffer[4096];
        while (running_) {
            pollfd p{master_, POLLIN, 0};
            const int ready = ::poll(&p, 1, 20);
            if (ready <= 0) continue;
            if ((p.revents & POLLIN) == 0) {
                // The slave is not open (yet, or any more): nothing can come.
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                continue;
            }
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n <= 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                continue;
            }
            for (const Reply& r : instrument.consume(buffer, static_cast<std::size_t>(n))) {
                if (r.delay_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(r.delay_ms));
                send(r.bytes);
            }
        }
    }

    int master_ = -1;
    std::string slave_;
    std::atomic<bool> running_{false};
    std::thread thread_;
};

}  // namespace tola::testing
