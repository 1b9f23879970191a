#include "platform/interrupt_flag.h"

#include <csignal>
#include <unistd.h>

namespace tola::os {
namespace {

volatile std::sig_atomic_t g_raised = 0;
struct sigaction g_previous {};

void on_interrupt(int) {
    g_raised = 1;
    // A second Ctrl-C is not held up by a step that takes its time.
    std::signal(SIGINT, SIG_DFL);
}

}  // namespace

InterruptFlag::InterruptFlag() {
    g_raised = 0;
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &g_previous);
}

InterruptFlag::~InterruptFlag() { sigaction(SIGINT, &g_previous, nullptr); }

bool InterruptFlag::raised() const { return g_raised != 0; }

bool stderr_is_terminal() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace tola::os
