// The Bluetooth link against a virtual Chromatik V, through the client
// stand-in: a 64 KiB memory read, and a firmware region written in 500-byte
// blocks.  The counter "ratio" is the measured time over the floor that the
// library's fixed pauses set: 50 ms after every packet it sends and 20 ms
// between a packet's header and its data (the client's byte stream adds no
// wire time; the virtual instrument sends its own packets without pauses).
#include "sim/simulator.h"
#include "tola_comm.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr double kPacketPauseSeconds = (50.0 + 20.0) / 1000.0;

double packets(std::uint32_t bytes) { return static_cast<double>((bytes + 499) / 500); }

struct BluetoothConnection {
    std::filesystem::path dir;
    std::unique_ptr<tola::sim::Simulator> sim;
    PXM_COMM comm{};
    bool connected = false;

    BluetoothConnection() {
        char pattern[] = "/tmp/tola-btbench-XXXXXX";
        dir = ::mkdtemp(pattern);
        ::setenv("TOLA_BT_DIR", (dir / "bt").c_str(), 1);
        ::setenv("TOLA_MUTEX_NAME", ("CKP_InterfaceMutex.btbench." + std::to_string(::getpid())).c_str(), 1);
        sim = std::make_unique<tola::sim::Simulator>(dir / "usb", dir / "bt");
        tola::sim::InstrumentConfig c;
        c.kind = 10;
        sim->add(c);
        sim->start();
        sim->instrument(0).wait_until_present(true, std::chrono::seconds(2));
        BT_DEVICES found{};
        bTOLA_comm_bt_discovery_ex(&found, sizeof found);
        if (found.iCount == 0) return;
        TOLA_comm_bt_set_device_ex(&found.qBtDevice[0], sizeof found.qBtDevice[0]);
        comm.dSize = sizeof comm;
        comm.iPort = TOLA_PORT_BLUETOOTH;
        for (int i = 0; i < 20; ++i) {
            const int32_t r = iTOLA_comm_poll_initialize(&comm);
            if (r != 2) {
                connected = r == 1;
                break;
            }
        }
    }
    ~BluetoothConnection() {
        TOLA_comm_close();
        sim.reset();
        std::filesystem::remove_all(dir);
    }
};

BluetoothConnection& connection() {
    static BluetoothConnection c;
    return c;
}

void BM_BluetoothMemoryRead64KiB(benchmark::State& state) {
    BluetoothConnection& c = connection();
    if (!c.connected) {
        state.SkipWithError("no Bluetooth connection");
        return;
    }
    constexpr std::uint32_t kRequest = 32 * 1024;
    std::vector<std::uint8_t> buffer(2 * kRequest);
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        for (std::uint32_t done = 0; done < buffer.size(); done += kRequest)
            if (!bTOLA_comm_Controller_read(buffer.data() + done, 0x08010000 + done, kRequest))
                state.SkipWithError("read failed");
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    // The library's own pauses: each request sends one 8-byte packet; the data
    // packets come at the instrument's pace, which the library acknowledges at once.
    const double floor = 2 * kPacketPauseSeconds;
    state.counters["instrument_paced_floor_s"] = 2 * (1 + packets(kRequest)) * kPacketPauseSeconds;
    state.counters["floor_s"] = floor;
    state.counters["ratio"] = seconds / static_cast<double>(state.iterations()) / floor;
}
BENCHMARK(BM_BluetoothMemoryRead64KiB)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

void BM_BluetoothFlashRegion(benchmark::State& state) {
    BluetoothConnection& c = connection();
    if (!c.connected) {
        state.SkipWithError("no Bluetooth connection");
        return;
    }
    const auto region = static_cast<std::uint32_t>(state.range(0));
    std::vector<std::uint8_t> block(500);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i * 7);
    const std::uint32_t first = 0x0800C000;
    double seconds = 0;
    std::uint32_t blocks = 0;
    for (auto _ : state) {
        bTOLA_comm_Controller_command(11, 0);
        for (int sector = 3; sector <= 11; ++sector) bTOLA_comm_Controller_command(9, sector);
        const auto start = std::chrono::steady_clock::now();
        blocks = 0;
        for (std::uint32_t at = first; at < first + region; at += 500, ++blocks) {
            const auto n = static_cast<int32_t>(std::min<std::uint32_t>(500, first + region - at));
            if (!bTOLA_comm_Controller_write(block.data(), at, n, 10)) state.SkipWithError("write refused");
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    // Every block is two: the address block, then the data block.
    const double floor = blocks * 2 * kPacketPauseSeconds;
    state.counters["blocks"] = blocks;
    state.counters["floor_s"] = floor;
    state.counters["ratio"] = seconds / static_cast<double>(state.iterations()) / floor;
}
BENCHMARK(BM_BluetoothFlashRegion)->Arg(64 * 1024)->Arg(0x100000 - 0xC000)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace
