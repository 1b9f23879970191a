// Ctrl-C (SIGINT) during a wait that may end at any moment, such as the search
// for an instrument: the first signal only raises a flag that the waiting loop
// reads, so that it closes what it opened and ends at once; a second one ends
// the process as usual.  Never for an update: that has its own guard.
#pragma once

namespace tola::os {

class InterruptFlag {
public:
    InterruptFlag();   // installs the handler
    ~InterruptFlag();  // puts the previous handler back
    InterruptFlag(const InterruptFlag&) = delete;
    InterruptFlag& operator=(const InterruptFlag&) = delete;

    bool raised() const;
};

// Standard error is a terminal (progress lines are for people, not for logs).
bool stderr_is_terminal();

}  // namespace tola::os
