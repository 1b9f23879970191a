// Hosts instruments behind their USB driver channel sockets.  One serving thread
// polls every listening socket and connection; it sleeps in poll() until a
// request, a timer of an instrument (host command completion, end of a restart's
// silence) or a wake-up from another thread.
#pragma once

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/instrument.h"
#include "sim/instrument_config.h"

namespace tola::sim {

class Simulator {
public:
    explicit Simulator(std::filesystem::path usb_dir);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Adds an instrument (before start).  A configuration without a socket name
    // gets its kind's default: "ezusb-0" for kind 1, else "dev0", "dev1", ... in
    // the interface-class folder.  Throws for an invalid configuration or a socket
    // that is taken.
    Instrument& add(InstrumentConfig config);

    // Creates the sockets, then serves them on a thread of its own.
    void start();
    // Stops serving and removes the sockets.  The destructor stops too.
    void stop();

    const std::filesystem::path& usb_dir() const { return usb_dir_; }
    std::size_t size() const { return instruments_.size(); }
    Instrument& instrument(std::size_t index) { return *instruments_.at(index); }
    const Instrument& instrument(std::size_t index) const { return *instruments_.at(index); }

private:
    struct Loop;
    std::filesystem::path usb_dir_;
    std::vector<std::unique_ptr<Instrument>> instruments_;
    std::unique_ptr<Loop> loop_;
    std::thread thread_;
};

}  // namespace tola::sim
