#include "sim/platform/signals.h"

#include <csignal>

#include <pthread.h>

namespace tola::sim {
namespace {
sigset_t termination_set() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}
}  // namespace

void block_termination_signals() {
    const sigset_t set = termination_set();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int wait_for_termination_signal() {
    const sigset_t set = termination_set();
    int sig = 0;
    while (sigwait(&set, &sig) != 0) {
    }
    return sig;
}

}  // namespace tola::sim
