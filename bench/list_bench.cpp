// "tolactl list" on a bench of every link at once: three Chromatik V on USB, one
// memory-mapped instrument behind a serial port and one over Bluetooth, each
// opened alone and identified.  The goal is under 2 s beyond the pauses the
// links fix themselves (the library's sleeps while a serial or radio link
// answers); "remainder_s" is the rest, the cost of the survey's own work.
#include "comm/platform/clock.h"
#include "update/binding/linked_functions.h"
#include "update/device/instrument_survey.h"

#include "sim/simulator.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

using namespace ckupdate;

void BM_ListEveryLink(benchmark::State& state) {
    char pattern[] = "/tmp/tola-listbench-XXXXXX";
    const std::filesystem::path dir = ::mkdtemp(pattern);
    ::setenv("TOLA_USB_DIR", (dir / "usb").c_str(), 1);
    ::setenv("TOLA_BT_DIR", (dir / "bt").c_str(), 1);
    ::setenv("TOLA_MUTEX_NAME", ("CKP_InterfaceMutex.listbench." + std::to_string(::getpid())).c_str(), 1);
    auto sim = std::make_unique<tola::sim::Simulator>(dir / "usb", dir / "bt");
    for (const char* serial : {"H51234", "H51235", "H51236"}) {
        tola::sim::InstrumentConfig c;
        c.kind = 4;
        c.serial = serial;
        sim->add(c);
    }
    tola::sim::InstrumentConfig serial_one;
    serial_one.kind = 8;
    serial_one.serial = "H50008";
    sim->add(serial_one);
    tola::sim::InstrumentConfig radio;
    radio.kind = 10;
    radio.serial = "H50010";
    sim->add(radio);
    sim->start();
    for (std::size_t i = 0; i < sim->size(); ++i) sim->instrument(i).wait_until_present(true, std::chrono::seconds(2));
    ::setenv("TOLA_COM3", sim->instrument(3).serial_path().c_str(), 1);

    const CommApi api(&LinkedCommFunctions());
    TDeviceConnection connection(api);
    SurveyPlaces places;
    places.usbSockets = UsbChannelSockets();
    places.comPorts = {3};
    places.btAddresses = {QString::fromStdString(sim->instrument(4).bt_address())};

    double seconds = 0, fixed = 0;
    std::size_t found = 0;
    for (auto _ : state) {
        const auto before = tola::platform::sleep_totals();
        const auto start = std::chrono::steady_clock::now();
        found = SurveyInstruments(connection, places).size();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const auto after = tola::platform::sleep_totals();
        fixed += static_cast<double>((after.all_ms - before.all_ms) - (after.polling_ms - before.polling_ms)) / 1000.0;
    }
    if (found != 5) state.SkipWithError("not every instrument was listed");
    const auto n = static_cast<double>(state.iterations());
    state.counters["total_s"] = seconds / n;
    state.counters["fixed_pauses_s"] = fixed / n;
    state.counters["remainder_s"] = (seconds - fixed) / n;
    state.counters["instruments"] = static_cast<double>(found);
    sim.reset();
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_ListEveryLink)->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();

}  // namespace
