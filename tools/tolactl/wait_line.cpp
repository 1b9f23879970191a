#include "wait_line.h"

#include "platform/interrupt_flag.h"

#include <cstdio>

namespace tolactl {

WaitLine::WaitLine()
    : terminal_(tola::os::stderr_is_terminal()), start_(std::chrono::steady_clock::now()), last_(start_) {}

WaitLine::~WaitLine() { clear(); }

double WaitLine::seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void WaitLine::show(const std::string& text) {
    const auto now = std::chrono::steady_clock::now();
    if (!terminal_ || now - start_ < std::chrono::seconds(1)) return;
    if (shown_ && now - last_ < std::chrono::milliseconds(250)) return;
    last_ = now;
    std::fprintf(stderr, "\r%.0f s: %s\033[K", seconds(), text.c_str());
    std::fflush(stderr);
    shown_ = true;
}

void WaitLine::announce(const std::string& text) {
    if (!terminal_) return;
    std::fprintf(stderr, "\r%s\033[K", text.c_str());
    std::fflush(stderr);
    shown_ = true;
}

void WaitLine::clear() {
    if (!shown_) return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    shown_ = false;
}

}  // namespace tolactl
