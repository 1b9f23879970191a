// Serves the serial and Bluetooth faces of instruments (kinds 2, 8..11) on a
// thread of its own: each serial face is the master of a pseudo-terminal, each
// Bluetooth face a Unix stream socket in the Bluetooth folder named by its
// address, with a file "<address>.name" beside it holding the device name.  The
// thread sleeps in poll() until bytes arrive, an instrument's timer falls due or
// another thread wakes it.
#pragma once

#include <filesystem>
#include <memory>
#include <thread>

#include "sim/instrument.h"

namespace tola::sim {

class LinkServer {
public:
    explicit LinkServer(std::filesystem::path bt_dir);
    ~LinkServer();
    LinkServer(const LinkServer&) = delete;
    LinkServer& operator=(const LinkServer&) = delete;

    // Before start.  A serial face gets its pseudo-terminal at once, so its path
    // is known before serving begins.  Throws when no pseudo-terminal can be had.
    void add(Instrument& instrument);
    void start();
    void stop();

    const std::filesystem::path& bt_dir() const { return bt_dir_; }

private:
    struct Loop;
    std::filesystem::path bt_dir_;
    std::unique_ptr<Loop> loop_;
    std::thread thread_;
};

}  // namespace tola::sim
