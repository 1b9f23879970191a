#include "platform/termination_signals.h"

#include <array>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace tola::os {
namespace {

constexpr std::array<int, 3> kSignals{SIGTERM, SIGHUP, SIGINT};

// Written by the handler: plain ints, set before the handlers are installed.
volatile sig_atomic_t g_write_end = -1;
int g_read_end = -1;
std::array<struct sigaction, kSignals.size()> g_previous{};

extern "C" void route_signal(int signal_number) {
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signal_number);
    // A full pipe drops the byte: enough requests are waiting already.
    [[maybe_unused]] const ssize_t n = ::write(g_write_end, &byte, 1);
    errno = saved;
}

}  // namespace

int route_termination_signals(std::string& error) {
    if (g_read_end >= 0) return g_read_end;
    int ends[2];
    if (::pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        return -1;
    }
    g_read_end = ends[0];
    g_write_end = ends[1];
    struct sigaction action {};
    action.sa_handler = route_signal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
        if (::sigaction(kSignals[i], &action, &g_previous[i]) != 0) {
            error = std::string("sigaction: ") + std::strerror(errno);
            for (std::size_t j = 0; j < i; ++j) ::sigaction(kSignals[j], &g_previous[j], nullptr);
            ::close(ends[0]);
            ::close(ends[1]);
            g_read_end = -1;
            g_write_end = -1;
            return -1;
        }
    }
    return g_read_end;
}

std::vector<int> take_termination_signals() {
    std::vector<int> taken;
    if (g_read_end < 0) return taken;
    unsigned char bytes[64];
    for (;;) {
        const ssize_t n = ::read(g_read_end, bytes, sizeof bytes);
        if (n <= 0) break;
        taken.insert(taken.end(), bytes, bytes + n);
    }
    return taken;
}

void restore_termination_signals() {
    if (g_read_end < 0) return;
    for (std::size_t i = 0; i < kSignals.size(); ++i) ::sigaction(kSignals[i], &g_previous[i], nullptr);
    ::close(g_read_end);
    ::close(static_cast<int>(g_write_end));
    g_read_end = -1;
    g_write_end = -1;
}

}  // namespace tola::os
