// The library's host copies of the instrument's structures, in the host layout,
// plus the built-in read-only defaults.  Static storage: the pointers handed
// out to callers stay valid while the library is loaded.
#pragma once

#include "tola_comm.h"

#include <array>
#include <cstdint>

namespace tola::structures {

inline constexpr std::size_t kShadeTableSize = 8788;
inline constexpr std::size_t kShadeTableCount = 4;
inline constexpr std::size_t kDisplayTextSize = 216;
inline constexpr std::size_t kDataSize = 168;
inline constexpr std::size_t kAdd2Size = 68;
inline constexpr std::size_t kMeasSize = 2280;
inline constexpr std::size_t kAdd3Size = 2676;
inline constexpr std::size_t kAdd4Size = 576;
inline constexpr std::size_t kShortResultSize = 624;
inline constexpr std::size_t kWord18RecordSize = 11;
inline constexpr std::size_t kVerifyShadeSize = 256;

// First-generation host copies (not reachable through an identifier).
inline constexpr std::size_t kFirstGenSetupSize = 1856;
inline constexpr std::size_t kFirstGenNormSize = 304;
inline constexpr std::size_t kFirstGenDataSize = 216;
inline constexpr std::size_t kFirstGenResultsEntrySize = 628;
inline constexpr std::size_t kFirstGenResultsEntries = 12;
inline constexpr std::size_t kTouchscreenSize = 16;
inline constexpr std::size_t kPsParameterSize = 10;

template <std::size_t N>
using Bytes = std::array<std::uint8_t, N>;

struct HostCopies {
    alignas(8) COMM_STRUCTURE_TABLE table;
    alignas(8) COMM_STRUCTURE_SIZES sizes;
    alignas(8) COMM_VERSION version;
    alignas(8) Bytes<kShadeTableSize * kShadeTableCount> shade_tables;
    alignas(8) COMM_USB_HOST host_block;
    alignas(8) TOLA_SHADE_MATCH_DETAILS details;
    alignas(8) Bytes<kDisplayTextSize> display_text;
    alignas(8) Bytes<kVerifyShadeSize> verify_shade;  // reserved, never filled
    alignas(8) Bytes<kDataSize> data;
    alignas(8) CKII_SETUP setup;
    alignas(8) CKII_NORM norm;
    alignas(8) CKNG_SETTINGS settings;
    alignas(8) Bytes<kAdd2Size> add2;
    alignas(8) Bytes<kMeasSize> meas;
    alignas(8) CKII_RESULTS results;
    alignas(8) Bytes<kAdd3Size> add3;
    alignas(8) Bytes<kAdd4Size> add4;
    alignas(8) Bytes<kShortResultSize> short_result;
    alignas(8) Bytes<kWord18RecordSize> word18_record;

    alignas(8) Bytes<kFirstGenSetupSize> first_gen_setup;
    alignas(8) Bytes<kFirstGenNormSize> first_gen_norm;
    alignas(8) Bytes<kFirstGenDataSize> first_gen_data;
    alignas(8) Bytes<kFirstGenResultsEntrySize * kFirstGenResultsEntries> first_gen_results;
    alignas(8) Bytes<kTouchscreenSize> touchscreen;
    alignas(8) Bytes<kPsParameterSize> ps_parameters;
};

struct BuiltInDefaults {
    COMM_VERSION version;
    CKII_SETUP setup;
    Bytes<kShadeTableSize * kShadeTableCount> shade_tables;
};

HostCopies& host_copies();
const BuiltInDefaults& built_in_defaults();

// Whether the sample-rate and bias parameters in the host copy are the ones
// read from the instrument of the current connection.  A connection that opens
// clears it; a successful read of the parameters sets it.
bool& ps_parameters_current();

}  // namespace tola::structures
