// Cost of the exported frame: an uncontended call that does no instrument work,
// and the size-tolerant record exchange.
#include "tola_comm.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

const bool private_mutex = [] {
    ::setenv("TOLA_MUTEX_NAME", ("CKP_InterfaceMutex.bench." + std::to_string(::getpid())).c_str(), 1);
    return true;
}();

void BM_UncontendedExportedCall(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(bTOLA_comm_poll_set_details(1));
}
BENCHMARK(BM_UncontendedExportedCall);

void BM_VersionExCopy(benchmark::State& state) {
    DLL_VERSION v{};
    for (auto _ : state) {
        TOLA_Get_Dll_version_ex(&v, static_cast<int32_t>(state.range(0)));
        benchmark::DoNotOptimize(v);
    }
}
BENCHMARK(BM_VersionExCopy)->Arg(8)->Arg(96);

void BM_MeasurementExFrame(benchmark::State& state) {
    COMM_MEASUREMENT m{};
    for (auto _ : state) benchmark::DoNotOptimize(bTOLA_comm_poll_measurements_ex(&m, 2376, 0));
}
BENCHMARK(BM_MeasurementExFrame);

}  // namespace
