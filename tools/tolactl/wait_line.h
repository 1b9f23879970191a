// One line on standard error that says what a long wait is doing, rewritten
// in place; only when standard error is a terminal, and only once the wait has
// lasted a second (short waits stay silent).  Cleared when the wait ends.
#pragma once

#include <chrono>
#include <string>

namespace tolactl {

class WaitLine {
public:
    WaitLine();
    ~WaitLine();
    WaitLine(const WaitLine&) = delete;
    WaitLine& operator=(const WaitLine&) = delete;

    // Shows "<seconds> s: text" (at most a few times a second).
    void show(const std::string& text);
    // Shows the text at once, whatever the time.
    void announce(const std::string& text);
    void clear();
    double seconds() const;

private:
    bool terminal_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point last_;
};

}  // namespace tolactl
