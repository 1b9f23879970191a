// Hosts instruments behind their USB driver channel sockets, and (through a
// LinkServer) the serial and Bluetooth faces of kinds 2 and 8..11.  One serving thread
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

class LinkServer;

class Simulator {
public:
    // bt_dir: where Bluetooth faces register; empty: "bt" beside the USB folder.
    explicit Simulator(std::filesystem::path usb_dir, std::filesystem::path bt_dir = {});
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Adds an instrument (before start).  A configuration without a socket name
    // gets its kind's default: "ezusb-0" for kind 1, else "dev0", "dev1", ... in
    // the interface-class folder.  Serial kinds get a pseudo-terminal at once;
    // Bluetooth kinds without an address get 00:80:25:AB:CD:01, :02, ... in order.
    // Throws for an invalid configuration or a socket or address that is taken.
    Instrument& add(InstrumentConfig config);

    // Creates the sockets, then serves them on a thread of its own.
    void start();
    // Stops serving and removes the sockets.  The destructor stops too.
    void stop();

    const std::filesystem::path& usb_dir() const { return usb_dir_; }
    const std::filesystem::path& bt_dir() const { return bt_dir_; }
    std::size_t size() const { return instruments_.size(); }
    Instrument& instrument(std::size_t index) { return *instruments_.at(index); }
    const Instrument& instrument(std::size_t index) const { return *instruments_.at(index); }

private:
    struct Loop;
    std::filesystem::path usb_dir_;
    std::filesystem::path bt_dir_;
    std::vector<std::unique_ptr<Instrument>> instruments_;
    std::unique_ptr<Loop> loop_;
    std::unique_ptr<LinkServer> links_;
    std::thread thread_;
};

}  // namespace tola::sim
