// Arbitrary instrument structures through the interpretations and the text
// reports: the bytes fill a results record, the measurement details, a short
// result record and a first-generation results table.  Nothing may crash, read
// past a record or write past a report's 10000 bytes.
#include "comm/measurements/interpretation.h"
#include "comm/measurements/short_record.h"
#include "comm/reports/text_reports.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace {

template <class Record>
void fill(Record& r, const std::uint8_t*& data, std::size_t& size) {
    const std::size_t n = std::min(size, sizeof r);
    std::memset(&r, 0, sizeof r);
    std::memcpy(&r, data, n);
    data += n;
    size -= n;
}

constexpr std::string_view kLayouts[] = {"CK0A.00.16.00", "CK0A.00.18.00", "CK0A.00.19.00", "CK0A.00.20.00"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tola;
    if (size < 2) return 0;
    const std::uint8_t choice = data[0];
    const std::uint8_t index = data[1];
    data += 2;
    size -= 2;
    auto results = std::make_unique<CKII_RESULTS>();
    auto details = std::make_unique<TOLA_SHADE_MATCH_DETAILS>();
    std::vector<std::uint8_t> short_record(measurements::kShortRecordSize, 0);
    std::vector<std::uint8_t> table(measurements::kFirstGenEntries * measurements::kFirstGenEntrySize, 0);
    fill(*results, data, size);
    fill(*details, data, size);
    std::copy_n(data, std::min(size, short_record.size()), short_record.begin());
    std::copy_n(data, std::min(size, table.size()), table.begin());

    auto m = std::make_unique<COMM_MEASUREMENT>();
    std::memset(m.get(), 0, sizeof *m);
    measurements::interpret_results(*m, *results);
    measurements::interpret_details(*m, *details, *results, measurements::tooth_area_accumulator());
    measurements::interpret_first_generation(*m, table, index % 13, kLayouts[choice % 4]);
    measurements::decode_short_record(*results, *details,
                                      std::span<const std::uint8_t, measurements::kShortRecordSize>(short_record));

    // A buffer of exactly the reports' size: any write past it is caught.
    auto text = std::make_unique<char[]>(10000);
    text[0] = '\0';
    reports::results_report(text.get(), *results);
    reports::details_report(text.get(), *details, choice & 2);
    for (int i = 0; i < 3; ++i) reports::calmat_report(text.get(), *reinterpret_cast<const CKNG_CALMAT*>(table.data()));
    if (::strnlen(text.get(), 10000) == 10000) std::abort();
    return 0;
}
