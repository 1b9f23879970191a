// The signals that ask a process to end (SIGTERM at a session logout, SIGHUP
// when its terminal goes away, SIGINT for Ctrl-C) turned into bytes in a pipe,
// so that a program can decide in its own event loop whether ending now is
// safe.  The handler only writes the signal's number; nothing else runs in
// signal context.
#pragma once

#include <string>
#include <vector>

namespace tola::os {

// Installs the handlers (sigaction, SA_RESTART) and returns the pipe's read
// end (non-blocking, close-on-exec) to watch; the previous handlers are kept
// for restore_termination_signals.  One routing per process: a second call
// returns the same descriptor.  -1 with the reason in error when the pipe or
// a handler could not be set up (the default actions then stay).
int route_termination_signals(std::string& error);

// The numbers of the signals that arrived since the last call, in order.
std::vector<int> take_termination_signals();

// Puts the previous handlers back and closes the pipe.
void restore_termination_signals();

}  // namespace tola::os
