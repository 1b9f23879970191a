#include "platform/interrupt_guard.h"

#include <atomic>
#include <csignal>
#include <cstring>

#include <unistd.h>

namespace tola::os {
namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kAbortAfter = 3;

std::atomic<bool> g_inside{false};
std::atomic<int> g_count{0};
std::atomic<int> g_total{0};
std::atomic<std::uint32_t> g_remaining{0};
struct sigaction g_previous[3];

// Only async-signal-safe calls here: write(2) of a text built in place.
void Say(const char* text) {
    const ssize_t ignored = ::write(STDERR_FILENO, text, std::strlen(text));
    (void)ignored;
}

void Handle(int signal) {
    if (!g_inside.load()) {
        // Nothing to protect: end as the signal would have.
        ::signal(signal, SIG_DFL);
        ::raise(signal);
        return;
    }
    // A hang-up is the terminal going away, not someone asking to stop: the
    // work goes on to its end without a viewer.
    if (signal == SIGHUP) return;
    g_total.fetch_add(1);
    const int n = g_count.fetch_add(1) + 1;
    if (n == 1) {
        char text[200] = "\ntolactl: the update cannot be stopped safely now; it still takes about ";
        char digits[12];
        int d = 0;
        std::uint32_t s = g_remaining.load();
        do {
            digits[d++] = static_cast<char>('0' + s % 10);
            s /= 10;
        } while (s != 0 && d < 11);
        std::size_t at = std::strlen(text);
        while (d > 0) text[at++] = digits[--d];
        text[at] = '\0';
        std::strcat(text, " s. Press Ctrl-C twice more to abort anyway.\n");
        Say(text);
    } else if (n == kAbortAfter) {
        Say("\ntolactl: aborting at the next safe point; run the update again to complete it.\n");
    }
}

}  // namespace

InterruptGuard::InterruptGuard() {
    struct sigaction action {};
    action.sa_handler = Handle;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i) ::sigaction(kSignals[i], &action, &g_previous[i]);
}

InterruptGuard::~InterruptGuard() {
    g_inside.store(false);
    for (int i = 0; i < 3; ++i) ::sigaction(kSignals[i], &g_previous[i], nullptr);
}

void InterruptGuard::Enter() {
    g_count.store(0);
    g_inside.store(true);
}

void InterruptGuard::Leave() { g_inside.store(false); }

void InterruptGuard::SetRemainingSeconds(std::uint32_t seconds) { g_remaining.store(seconds); }

bool InterruptGuard::AbortRequested() const { return g_inside.load() && g_count.load() >= kAbortAfter; }

int InterruptGuard::SignalsReceived() const { return g_count.load(); }

int interrupts_received() { return g_total.load(); }

}  // namespace tola::os
