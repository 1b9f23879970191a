// A whole firmware update of a virtual Chromatik V with the largest built-in
// image (560,532 bytes), through the update engine and the real library.
//
// Over USB the time goes to the fixed sleeps of the workflow (1000, 3000, 2000
// and 500 ms) and of the library (the 3 s after storing the settings, its
// polls); "remainder_s" is everything else, the cost of the work itself.
// Over Bluetooth the floor is the fixed pauses of the workflow and of the packet
// protocol (20 ms before a packet's data, 50 ms after it); "ratio" is the
// measured time over that floor, and "polling_s" the part of the rest spent
// waiting for bytes.
#include "comm/platform/clock.h"
#include "update/binding/linked_functions.h"
#include "update/firmware/ck_update_engine.h"
#include "update/firmware/device_host.h"
#include "update/firmware/firmware_catalog.h"
#include "update/device/device_connection.h"

#include "sim/simulator.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

using namespace ckupdate;

// The system clock, counting the workflow's own sleeps.
class CountingClock final : public ProgramClock {
public:
    std::uint32_t NowMs() override { return SystemClock().NowMs(); }
    void SleepMs(std::uint32_t ms) override {
        slept += ms;
        SystemClock().SleepMs(ms);
    }
    std::uint64_t slept = 0;
};

using Host = DeviceHost;

class QuietView final : public UpdateView {
public:
    void SetStep(UpdateStep, const QString&, StepState) override {}
    void SetCountDown(const CountDown&) override {}
    void SetVersionLines(const QString&, const QString&) override {}
    void ClearMessages() override {}
    void AddMessage(const QString&) override {}
    void SetStartButtons(bool, bool) override {}
    void SetCancelEnabled(bool) override {}
    void SetButtonsLocked(bool) override {}
    bool AskYesAbort(const QString&) override { return true; }
    void ShowErrorBox(const QString&) override {}
    void ShowMessageBox(const QString&) override {}
    void ShowResultPanel(bool) override {}
    void HideResultPanel() override {}
};

void RunUpdate(benchmark::State& state, int kind) {
    const bool verify = state.range(0) != 0;
    char pattern[] = "/tmp/tola-updbench-XXXXXX";
    const std::filesystem::path dir = ::mkdtemp(pattern);
    ::setenv("TOLA_USB_DIR", (dir / "usb").c_str(), 1);
    ::setenv("TOLA_BT_DIR", (dir / "bt").c_str(), 1);
    ::setenv("TOLA_MUTEX_NAME", ("CKP_InterfaceMutex.updbench." + std::to_string(::getpid())).c_str(), 1);
    double seconds = 0, fixed = 0, polling = 0, workflow = 0;
    bool ok = true;
    for (auto _ : state) {
        auto sim = std::make_unique<tola::sim::Simulator>(dir / "usb", dir / "bt");
        tola::sim::InstrumentConfig c;
        c.kind = kind;
        c.firmware = "511vLE";
        sim->add(c);
        sim->start();
        sim->instrument(0).wait_until_present(true, std::chrono::seconds(2));

        const CommApi api(&LinkedCommFunctions());
        TDeviceConnection connection(api);
        if (kind == 10) {
            BT_DEVICES found{};
            api.CK_comm_BtDiscovery(&found);
            api.CK_comm_BtSetDevice(&found.qBtDevice[0]);
            connection.PortData().iPort = kPortBluetooth;
        }
        std::int32_t r = 2;
        for (int i = 0; i < 50 && r != 1; ++i) r = connection.OpenDev();
        if (r != 1) {
            state.SkipWithError("no connection");
            break;
        }
        Firmwares().SelectFirmware(0);
        Host host(connection);
        QuietView view;
        CountingClock clock;
        TCkUpdateEngine engine(api, host, view, clock);
        UpdateOptions o;
        o.verifyBeforeHeader = verify;
        engine.SetOptions(o);
        engine.SetDeviceInfo(connection.DevInfo());

        const auto before = tola::platform::sleep_totals();
        const auto start = std::chrono::steady_clock::now();
        engine.Run();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const auto after = tola::platform::sleep_totals();
        ok = ok && engine.LastResult() == UpdateResult::Succeeded;
        const double all = static_cast<double>(after.all_ms - before.all_ms) / 1000.0;
        polling += static_cast<double>(after.polling_ms - before.polling_ms) / 1000.0;
        workflow += static_cast<double>(clock.slept) / 1000.0;
        fixed += static_cast<double>(clock.slept) / 1000.0 + all;
        connection.CloseDev();
    }
    if (!ok) state.SkipWithError("the update did not succeed");
    const auto n = static_cast<double>(state.iterations());
    state.counters["total_s"] = seconds / n;
    state.counters["workflow_sleep_s"] = workflow / n;
    state.counters["polling_s"] = polling / n;
    if (kind == 4) {
        // Every sleep, polls included, is fixed by the workflow or the library.
        state.counters["fixed_s"] = fixed / n;
        state.counters["remainder_s"] = (seconds - fixed) / n;
        state.counters["ratio"] = seconds / fixed;
    } else {
        const double pauses = fixed - polling;
        state.counters["fixed_pauses_s"] = pauses / n;
        state.counters["ratio"] = seconds / pauses;
    }
    std::filesystem::remove_all(dir);
}

void BM_UpdateLargestImageOverUsb(benchmark::State& state) { RunUpdate(state, 4); }
BENCHMARK(BM_UpdateLargestImageOverUsb)->Arg(0)->Arg(1)->ArgName("verify")->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

void BM_UpdateLargestImageOverBluetooth(benchmark::State& state) { RunUpdate(state, 10); }
BENCHMARK(BM_UpdateLargestImageOverBluetooth)->Arg(0)->Arg(1)->ArgName("verify")->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace
