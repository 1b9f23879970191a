// Upload and download of the largest structures through the converters.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "comm/structures/structure_converter.h"

namespace {

using tola::structures::ByteOrder;
using tola::structures::convert;
using tola::structures::convert_each;
using tola::structures::Direction;
using tola::structures::StructureKind;

constexpr const char* kRelease = "CK0A.00.31.00";

std::vector<std::uint8_t> filled(std::size_t size) {
    std::vector<std::uint8_t> b(size);
    for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>(i * 31 + 7);
    return b;
}

void convert_one(benchmark::State& state, StructureKind kind, Direction direction) {
    const auto order = static_cast<ByteOrder>(state.range(0));
    const std::size_t size = tola::structures::host_size(kind);
    auto host = filled(size);
    auto target = filled(size);
    for (auto _ : state) {
        benchmark::DoNotOptimize(convert(kind, direction, kRelease, order, host, target));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

void BM_DetailsUpload(benchmark::State& s) { convert_one(s, StructureKind::MeasureDetails, Direction::Upload); }
void BM_DetailsDownload(benchmark::State& s) { convert_one(s, StructureKind::MeasureDetails, Direction::Download); }
void BM_SettingsUpload(benchmark::State& s) { convert_one(s, StructureKind::Settings, Direction::Upload); }
void BM_SettingsDownload(benchmark::State& s) { convert_one(s, StructureKind::Settings, Direction::Download); }
void BM_SetupUpload(benchmark::State& s) { convert_one(s, StructureKind::Setup, Direction::Upload); }
void BM_SetupDownload(benchmark::State& s) { convert_one(s, StructureKind::Setup, Direction::Download); }

void shade_tables(benchmark::State& state, Direction direction) {
    const auto order = static_cast<ByteOrder>(state.range(0));
    constexpr std::size_t kSize = 4 * 8788;
    auto host = filled(kSize);
    auto target = filled(kSize);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            convert_each(StructureKind::ShadeTable, 4, direction, kRelease, order, host, target));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSize));
}

void BM_ShadeTablesUpload(benchmark::State& s) { shade_tables(s, Direction::Upload); }
void BM_ShadeTablesDownload(benchmark::State& s) { shade_tables(s, Direction::Download); }

// Argument: 0 little-endian instrument (plain copies), 1 big-endian (reversed words).
BENCHMARK(BM_DetailsUpload)->Arg(0)->Arg(1);
BENCHMARK(BM_DetailsDownload)->Arg(0)->Arg(1);
BENCHMARK(BM_ShadeTablesUpload)->Arg(0)->Arg(1);
BENCHMARK(BM_ShadeTablesDownload)->Arg(0)->Arg(1);
BENCHMARK(BM_SettingsUpload)->Arg(0)->Arg(1);
BENCHMARK(BM_SettingsDownload)->Arg(0)->Arg(1);
BENCHMARK(BM_SetupUpload)->Arg(0)->Arg(1);
BENCHMARK(BM_SetupDownload)->Arg(0)->Arg(1);

}  // namespace
