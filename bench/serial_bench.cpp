// A 64 KiB memory read over a pseudo-terminal against a scripted instrument
// that keeps a sender's pauses.  The counter "ratio" is the measured time over
// the floor that the protocol's fixed pauses set: per 500-byte packet the 50 ms
// pause and the 20 ms between header and data, plus the wire time at 56000
// baud with 10 bits a byte (a pseudo-terminal has next to none, so the wire
// term only matters on a real port).
#include "comm/api/library_state.h"
#include "comm/links/serial/packet.h"
#include "comm/links/serial/serial_link.h"
#include "tests/support/pty_peer.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

namespace {

using tola::testing::PtyPeer;
using tola::testing::ScriptedInstrument;

constexpr std::uint32_t kLength = 64 * 1024;
// A request carries at most 65535 bytes, so 64 KiB take two requests.
constexpr std::uint32_t kRequest = 32 * 1024;
constexpr std::uint32_t kAddress = 0x08010000;

// Each request block is one more packet (8 bytes) in the other direction.
double packets_of(std::uint32_t length) {
    const double requests = length / kRequest;
    return requests * (static_cast<double>(tola::serial::packet_count(kRequest)) + 1);
}

double pause_floor_seconds(std::uint32_t length) { return packets_of(length) * (50.0 + 20.0) / 1000.0; }

// What a real port at 56000 baud would add: data, headers, code bytes and acknowledgements.
double wire_seconds(std::uint32_t length) {
    const double bytes = length + 8.0 * (length / kRequest) + packets_of(length) * (tola::serial::kHeaderSize + 2);
    return bytes * 10.0 / 56000.0;
}

void BM_SerialMemoryRead64KiB(benchmark::State& state) {
    PtyPeer peer;
    peer.expose_as_port(9);
    ScriptedInstrument instrument;
    PXM_COMM comm{};
    comm.dSize = sizeof(PXM_COMM);
    comm.hUSB = -1;
    comm.hRS232 = -1;
    tola::library_state().record = &comm;
    if (!tola::serial::open_port(comm, "COM9")) {
        state.SkipWithError("cannot open the pseudo-terminal");
        return;
    }
    comm.iDevice = TOLA_DEVICE_SERIAL_MAPPED_A;
    peer.serve(instrument);
    std::vector<std::uint8_t> buffer(kLength);
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        bool ok = true;
        for (std::uint32_t done = 0; ok && done < kLength; done += kRequest)
            ok = tola::serial::memory_read(kAddress + done, buffer.data() + done, kRequest);
        if (!ok) {
            state.SkipWithError(comm.ssStatus);
            break;
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    peer.stop();
    tola::serial::close_port(comm);
    tola::library_state().record = nullptr;
    const double iterations = static_cast<double>(state.iterations());
    if (iterations > 0) {
        // A pseudo-terminal has no wire time, so its floor is the pauses alone.
        state.counters["floor_s"] = pause_floor_seconds(kLength);
        state.counters["wire_56000_s"] = wire_seconds(kLength);
        state.counters["ratio"] = seconds / iterations / pause_floor_seconds(kLength);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kLength);
}
BENCHMARK(BM_SerialMemoryRead64KiB)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
