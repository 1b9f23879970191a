// Termination signals for the program: blocked in every thread, taken by one wait.
#pragma once

namespace tola::sim {

// Call before any thread starts, so that the threads inherit the mask.
void block_termination_signals();
// Waits for SIGINT or SIGTERM and returns its number.
int wait_for_termination_signal();

}  // namespace tola::sim
