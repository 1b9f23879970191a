// A firmware-sized write to a virtual Chromatik V, directly over its USB
// driver channel and through the USB bridge on a virtual USB bus (library ->
// channel -> bridge -> bulk transfers -> the instrument).  The two figures side
// by side give the bridge's share of a firmware update.
#include "bridge/usb/bridge.h"
#include "bridge/usb/log.h"
#include "sim/simulator.h"
#include "tests/support/sim_usb_backend.h"
#include "tola_comm.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct Setup {
    std::filesystem::path dir;
    std::unique_ptr<tola::sim::Simulator> sim;
    std::unique_ptr<tola::testing::SimUsbBackend> bus;
    std::unique_ptr<tola::usbd::Bridge> bridge;
    PXM_COMM comm{};
    bool ok = false;

    explicit Setup(bool through_bridge) {
        char pattern[] = "/tmp/tola-bench-bridge-XXXXXX";
        dir = ::mkdtemp(pattern);
        ::setenv("TOLA_MUTEX_NAME", ("CKP_InterfaceMutex.bench." + std::to_string(::getpid())).c_str(), 1);
        sim = std::make_unique<tola::sim::Simulator>(dir / "bus");
        tola::sim::InstrumentConfig c;
        c.command_delay = std::chrono::milliseconds(5);
        sim->add(c);
        sim->start();
        std::filesystem::path channel = dir / "bus";
        if (through_bridge) {
            tola::usbd::set_log_sink(tola::usbd::LogSink::Silent, false);
            channel = dir / "usb";
            bus = std::make_unique<tola::testing::SimUsbBackend>(*sim);
            bridge = std::make_unique<tola::usbd::Bridge>(*bus, tola::usbd::BridgeOptions{channel});
            std::string error;
            if (!bridge->start(error) ||
                !bridge->wait_until([](const auto& s) { return s.size() == 1; }, std::chrono::seconds(5)))
                return;
        }
        ::setenv("TOLA_USB_DIR", channel.c_str(), 1);
        TOLA_comm_close();
        comm.dSize = sizeof comm;
        comm.hUSB = comm.hRS232 = -1;
        comm.iPort = TOLA_PORT_USB;
        std::int32_t r = 2;
        while (r == 2) r = iTOLA_comm_poll_initialize(&comm);
        ok = r == 1;
    }
    ~Setup() {
        TOLA_comm_close();
        bridge.reset();
        bus.reset();
        sim.reset();
        std::filesystem::remove_all(dir);
    }
};

// Arg 0: directly; 1: through the bridge.
void BM_FirmwareWriteOverUsb(benchmark::State& state) {
    Setup setup(state.range(0) == 1);
    if (!setup.ok) {
        state.SkipWithError("no connection");
        return;
    }
    std::vector<std::uint8_t> block(128);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i);
    const std::uint32_t first = 0x0800C000, end = 0x08100000;
    for (auto _ : state) {
        bTOLA_comm_Controller_command(11, 0);
        for (int sector = 3; sector <= 11; ++sector) bTOLA_comm_Controller_command(9, sector);
        for (std::uint32_t at = first; at < end; at += 128)
            if (!bTOLA_comm_Controller_write(block.data(), at, 128, 10)) state.SkipWithError("write refused");
    }
    const double blocks = static_cast<double>((end - first) / 128);
    state.counters["us_per_block"] =
        benchmark::Counter(blocks * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * (end - first));
    state.SetLabel(state.range(0) ? "through the bridge" : "direct");
}
BENCHMARK(BM_FirmwareWriteOverUsb)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace
