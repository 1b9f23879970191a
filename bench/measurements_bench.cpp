// Measurement polling, interpretation and reports.
//
// - An only-new poll that the 500 ms rate limit answers: no traffic at all.
// - Interpreting one measurement (results, details, the Bluetooth short record)
//   and rendering the details and results reports: pure work on records.
// - One full measurement fetch against a virtual instrument, per link: the
//   instrument measures, the poll reads its host block, fetches the result
//   structures and writes the acknowledged block back.  The counter "ratio" is
//   the measured time over the fixed waits the exchange carries on that link:
//     USB, H8SX          the write-back's 100 ms and the 50 ms command wait of
//                        the controller write (150 ms)
//     serial (kind 8)    per block the library sends, 20 ms between header and
//                        data and 50 ms after the packet: host block, results
//                        and details requests (3 x 70 ms), the write-back's
//                        address and data blocks (140 ms), its 100 ms wait and
//                        the read back (70 ms): 520 ms
//     Bluetooth (10)     the same with the results only: 450 ms
//   The STM32 controller on USB has no fixed waits in this exchange; its figure
//   is the time per fetch.
#include "comm/api/library_state.h"
#include "comm/links/usb/usb_state.h"
#include "comm/measurements/interpretation.h"
#include "comm/measurements/poll_state.h"
#include "comm/measurements/short_record.h"
#include "comm/platform/clock.h"
#include "comm/reports/text_reports.h"
#include "sim/simulator.h"
#include "tola_comm.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace tola;

void private_mutex() {
    ::setenv("TOLA_MUTEX_NAME", ("CKP_InterfaceMutex.measbench." + std::to_string(::getpid())).c_str(), 0);
}

CKII_RESULTS sample_results() {
    CKII_RESULTS r;
    std::memset(&r, 0, sizeof r);
    r.iMode = 6;
    for (int k = 0; k < 3; ++k) {
        std::strcpy(r.qsnClassical[k], "A3.5");
        std::strcpy(r.qsn3D[k], "3M2");
        std::strcpy(r.qsn3DInterp[k], "3M1.5");
        std::strcpy(r.qsn3DBlock[k], "3M");
        std::strcpy(r.qsn3DBleached[k], "12");
        std::strcpy(r.qsnClassicalBlock[k], "A3-A3.5");
        for (int i = 0; i < 11; ++i) r.qfParm[k][i] = 10.0f + static_cast<float>(i);
        for (int i = 0; i < 17; ++i) r.qfDelta[k][i] = 0.1f * static_cast<float>(i);
    }
    r.iAverageCount = 3;
    r.iWhiteness = 14;
    return r;
}

TOLA_SHADE_MATCH_DETAILS sample_details() {
    TOLA_SHADE_MATCH_DETAILS d;
    std::memset(&d, 0, sizeof d);
    d.iMode = 1;
    for (auto& s : d.qSensor) {
        for (int i = 0; i < 40; ++i) s.qfSensor[i] = 1000.0f + 3.5f * static_cast<float>(i);
        for (int i = 0; i < 11; ++i) s.qfParmWt[i] = 12.5f * static_cast<float>(i);
        for (int i = 0; i < 31; ++i) s.qfSpectrum[i] = 0.3f + 0.01f * static_cast<float>(i);
    }
    std::strcpy(d.qsnClassical[0], "A2");
    std::strcpy(d.sn3D, "2M2");
    return d;
}

void BM_OnlyNewPollAnsweredByTheRateLimit(benchmark::State& state) {
    private_mutex();
    COMM_MEASUREMENT m{};
    std::int64_t n = 0;
    measurements::poll_state().last_measurement_poll = platform::tick_ms();
    for (auto _ : state) {
        benchmark::DoNotOptimize(bTOLA_comm_poll_measurements(&m, 1));
        if ((++n & 0x3FF) == 0) {
            // Keep every poll inside the 500 ms window.
            state.PauseTiming();
            measurements::poll_state().last_measurement_poll = platform::tick_ms();
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_OnlyNewPollAnsweredByTheRateLimit);

void BM_InterpretResults(benchmark::State& state) {
    const CKII_RESULTS r = sample_results();
    COMM_MEASUREMENT m;
    for (auto _ : state) {
        std::memset(&m, 0, sizeof m);
        measurements::interpret_results(m, r);
        benchmark::DoNotOptimize(m);
    }
}
BENCHMARK(BM_InterpretResults);

void BM_InterpretDetails(benchmark::State& state) {
    const TOLA_SHADE_MATCH_DETAILS d = sample_details();
    const CKII_RESULTS r = sample_results();
    COMM_MEASUREMENT m;
    COMM_MEASUREMENT accumulator{};
    for (auto _ : state) {
        std::memset(&m, 0, sizeof m);
        measurements::interpret_details(m, d, r, accumulator);
        benchmark::DoNotOptimize(m);
    }
}
BENCHMARK(BM_InterpretDetails);

void BM_DecodeShortRecordAndInterpret(benchmark::State& state) {
    std::array<std::uint8_t, measurements::kShortRecordSize> p{};
    p[0] = 1, p[12] = 16, p[16] = 40, p[24] = 1, p[25] = 2, p[26] = 6, p[23] = 14;
    for (std::size_t i = 28; i < 172; i += 2) p[i + 1] = static_cast<std::uint8_t>(i);
    auto r = std::make_unique<CKII_RESULTS>();
    auto d = std::make_unique<TOLA_SHADE_MATCH_DETAILS>();
    COMM_MEASUREMENT m;
    for (auto _ : state) {
        std::memset(r.get(), 0, sizeof *r);
        std::memset(d.get(), 0, sizeof *d);
        measurements::decode_short_record(*r, *d, p);
        std::memset(&m, 0, sizeof m);
        measurements::interpret_results(m, *r);
        benchmark::DoNotOptimize(m);
    }
}
BENCHMARK(BM_DecodeShortRecordAndInterpret);

void BM_DetailsReport(benchmark::State& state) {
    const TOLA_SHADE_MATCH_DETAILS d = sample_details();
    std::vector<char> text(10000);
    for (auto _ : state) {
        reports::details_report(text.data(), d, 2);
        benchmark::DoNotOptimize(text.data());
    }
    state.counters["chars"] = static_cast<double>(std::strlen(text.data()));
}
BENCHMARK(BM_DetailsReport);

void BM_ResultsReport(benchmark::State& state) {
    const CKII_RESULTS r = sample_results();
    std::vector<char> text(10000);
    for (auto _ : state) {
        reports::results_report(text.data(), r);
        benchmark::DoNotOptimize(text.data());
    }
}
BENCHMARK(BM_ResultsReport);

// A virtual instrument of one link family, connected for one benchmark.
struct FetchRig {
    std::filesystem::path dir;
    std::unique_ptr<sim::Simulator> simulator;
    sim::Instrument* instrument = nullptr;
    PXM_COMM comm{};
    bool connected = false;

    explicit FetchRig(int link) {
        private_mutex();
        char pattern[] = "/tmp/tola-measbench-XXXXXX";
        dir = ::mkdtemp(pattern);
        ::setenv("TOLA_USB_DIR", (dir / "usb").c_str(), 1);
        ::setenv("TOLA_BT_DIR", (dir / "bt").c_str(), 1);
        simulator = std::make_unique<sim::Simulator>(dir / "usb", dir / "bt");
        sim::InstrumentConfig c;
        c.measure_time = std::chrono::milliseconds(0);
        c.command_delay = std::chrono::milliseconds(5);
        c.kind = link <= 1 ? 4 : link == 2 ? 8 : 10;
        if (link == 1) {
            c.cpu = 1;
            c.layout_release = "CK0A.00.28.00";
            c.firmware = "311b";
        }
        instrument = &simulator->add(c);
        simulator->start();
        usb::usb_state() = usb::UsbState{};
        comm.dSize = sizeof comm;
        comm.hUSB = comm.hRS232 = -1;
        comm.iPort = TOLA_PORT_USB;
        if (link == 2) {
            ::setenv("TOLA_COM3", instrument->serial_path().c_str(), 1);
            comm.iPort = TOLA_PORT_COM1 + 2;
        } else if (link == 3) {
            instrument->wait_until_present(true, std::chrono::seconds(2));
            BT_DEVICE device{};
            std::snprintf(device.snBtAddress, sizeof device.snBtAddress, "%s", instrument->bt_address().c_str());
            TOLA_comm_bt_set_device_ex(&device, sizeof device);
            comm.iPort = TOLA_PORT_BLUETOOTH;
        }
        std::int32_t r = 2;
        for (int i = 0; i < 200 && r == 2; ++i) r = iTOLA_comm_poll_initialize(&comm);
        connected = r == 1;
        bTOLA_comm_poll_set_details(1);
    }
    ~FetchRig() {
        TOLA_comm_close();
        simulator.reset();
        std::filesystem::remove_all(dir);
    }
};

void BM_MeasurementFetch(benchmark::State& state) {
    static constexpr double kFixedWaitsMs[4] = {0, 150, 520, 450};
    const int link = static_cast<int>(state.range(0));
    FetchRig rig(link);
    if (!rig.connected) {
        state.SkipWithError("no connection to the virtual instrument");
        return;
    }
    COMM_MEASUREMENT m{};
    bTOLA_comm_poll_measurements(&m, 1);  // the fresh connection's 0
    for (auto _ : state) {
        state.PauseTiming();
        rig.instrument->press_trigger();
        measurements::poll_state().last_measurement_poll = platform::tick_ms() - 1000;
        state.ResumeTiming();
        if (bTOLA_comm_poll_measurements(&m, 1) != 1) state.SkipWithError("no measurement fetched");
    }
    if (kFixedWaitsMs[link] > 0) {
        state.counters["fixed_ms"] = kFixedWaitsMs[link];
        state.counters["ratio"] = benchmark::Counter(kFixedWaitsMs[link] / 1000.0 * static_cast<double>(state.iterations()),
                                                     benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    }
}
BENCHMARK(BM_MeasurementFetch)
    ->ArgName("link")  // 0 USB STM32, 1 USB H8SX, 2 serial, 3 Bluetooth
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Arg(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);

}  // namespace
