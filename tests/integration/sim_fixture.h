// A virtual instrument in a private USB folder, and a connection record for
// the library, for tests that drive the library through real sockets.
#pragma once

#include "comm/api/library_state.h"
#include "comm/links/usb/usb_device.h"
#include "comm/links/usb/usb_state.h"
#include "sim/simulator.h"
#include "tola_comm.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace tola::testing {

class SimTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tola-it-XXXXXX";
        ASSERT_NE(nullptr, ::mkdtemp(pattern));
        dir_ = pattern;
        ::setenv("TOLA_USB_DIR", (dir_ / "usb").c_str(), 1);
        ::setenv("TOLA_BT_DIR", (dir_ / "bt").c_str(), 1);
        // No test reaches a real serial port: unused ports name nothing.
        for (int n = 1; n <= 20; ++n)
            ::setenv(("TOLA_COM" + std::to_string(n)).c_str(), (dir_ / ("no-port-" + std::to_string(n))).c_str(), 1);
        std::memset(&comm_, 0, sizeof comm_);
        comm_.dSize = sizeof comm_;
        comm_.hUSB = -1;
        comm_.hRS232 = -1;
        usb::usb_state() = usb::UsbState{};
        library_state().stop_state = StopState::Running;
    }

    void TearDown() override {
        if (library_state().record == &comm_) {
            TOLA_comm_close();
            library_state().record = nullptr;
        }
        sim_.reset();
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    sim::Instrument& start(sim::InstrumentConfig config) {
        sim_ = std::make_unique<sim::Simulator>(dir_ / "usb", dir_ / "bt");
        sim::Instrument& instrument = sim_->add(std::move(config));
        sim_->start();
        return instrument;
    }

    // Several instruments side by side, in the order given.
    void start_all(std::vector<sim::InstrumentConfig> configs) {
        sim_ = std::make_unique<sim::Simulator>(dir_ / "usb", dir_ / "bt");
        for (auto& c : configs) sim_->add(std::move(c));
        sim_->start();
    }

    // The record a host prepares to search for one instrument only.
    void pin(const char* serial, const char* socket) {
        comm_.tStatus = TOLA_STATUS_PINNED;
        std::strcpy(comm_.snSerial_number, serial);
        std::strcpy(comm_.snRS232, socket);
    }

    static sim::InstrumentConfig config(int kind, int cpu = 2, const char* release = "CK0A.00.31.00") {
        sim::InstrumentConfig c;
        c.kind = kind;
        c.cpu = cpu;
        c.layout_release = release;
        // Commands finish within the first 40 ms poll, as the instrument's do.
        c.command_delay = std::chrono::milliseconds(5);
        return c;
    }

    // Puts an instrument's pseudo-terminal behind serial port n.
    static void use_serial_port(int n, const sim::Instrument& instrument) {
        ::setenv(("TOLA_COM" + std::to_string(n)).c_str(), instrument.serial_path().c_str(), 1);
    }

    // Opens the USB device for link-level tests, as the open step would, and
    // takes the kind as given.
    void attach(std::uint32_t kind) {
        library_state().record = &comm_;
        ASSERT_TRUE(usb::bUSB_open());
        ASSERT_TRUE(usb::read_descriptor());
        comm_.iDevice = kind;
    }

    // Runs search steps on a fixed port until they stop answering "call again".
    std::int32_t connect(std::uint32_t port = TOLA_PORT_USB, int max_steps = 200) {
        comm_.iPort = port;
        std::int32_t result = 2;
        for (int i = 0; i < max_steps && result == 2; ++i) result = iTOLA_comm_poll_initialize(&comm_);
        return result;
    }

    std::filesystem::path dir_;
    std::unique_ptr<sim::Simulator> sim_;
    PXM_COMM comm_{};
};

inline std::vector<std::uint32_t> lengths_of(const std::vector<sim::JournalEntry>& entries) {
    std::vector<std::uint32_t> lengths;
    for (const auto& e : entries) lengths.push_back(e.length);
    return lengths;
}

}  // namespace tola::testing
