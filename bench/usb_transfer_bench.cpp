// Transfers against a virtual Chromatik V over the USB driver channel: a local
// transfer of the measurement details, a structure upload, and a controller
// write of the whole 1 MiB flash in 128-byte blocks as a firmware update does.
// The STM32 controller protocol has no fixed pauses, so its floor is the
// channel's round trips: the figures are times per block.
#include "comm/api/library_state.h"
#include "sim/simulator.h"
#include "tola_comm.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct Connected {
    std::filesystem::path dir;
    std::unique_ptr<tola::sim::Simulator> sim;
    PXM_COMM comm{};

    Connected() {
        char pattern[] = "/tmp/tola-bench-XXXXXX";
        dir = ::mkdtemp(pattern);
        ::setenv("TOLA_USB_DIR", (dir / "usb").c_str(), 1);
        ::setenv("TOLA_MUTEX_NAME", ("CKP_InterfaceMutex.bench." + std::to_string(::getpid())).c_str(), 1);
        sim = std::make_unique<tola::sim::Simulator>(dir / "usb");
        tola::sim::InstrumentConfig c;
        c.command_delay = std::chrono::milliseconds(5);
        sim->add(c);
        sim->start();
        comm.dSize = sizeof comm;
        comm.iPort = TOLA_PORT_USB;
        while (iTOLA_comm_poll_initialize(&comm) == 2) {
        }
    }
    ~Connected() {
        TOLA_comm_close();
        sim.reset();
        std::filesystem::remove_all(dir);
    }
};

Connected& connected() {
    static Connected c;
    return c;
}

void BM_LocalDetailsTransfer(benchmark::State& state) {
    Connected& c = connected();
    std::vector<std::uint8_t> details(sizeof(TOLA_SHADE_MATCH_DETAILS));
    char message[501];
    for (auto _ : state)
        benchmark::DoNotOptimize(bTOLA_Transfer_local_structure(&c.comm, details.data(),
                                                                CKPSTRUCT_MEASUREDETAILS | CKPSTRUCT_LOCAL,
                                                                static_cast<int32_t>(details.size()), 2, message));
}
BENCHMARK(BM_LocalDetailsTransfer);

void BM_DetailsUploadOverUsb(benchmark::State& state) {
    Connected& c = connected();
    std::vector<std::uint8_t> details(sizeof(TOLA_SHADE_MATCH_DETAILS));
    char message[501];
    for (auto _ : state)
        benchmark::DoNotOptimize(bTOLA_Transfer_local_structure(&c.comm, details.data(), CKPSTRUCT_MEASUREDETAILS,
                                                                static_cast<int32_t>(details.size()), 2, message));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 7316);
}
BENCHMARK(BM_DetailsUploadOverUsb)->Unit(benchmark::kMillisecond);

void BM_FlashImageOverUsb(benchmark::State& state) {
    connected();
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
    state.counters["blocks"] = blocks;
    state.counters["us_per_block"] =
        benchmark::Counter(blocks * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * (end - first));
}
BENCHMARK(BM_FlashImageOverUsb)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
