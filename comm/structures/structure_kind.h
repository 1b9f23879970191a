// Names of the structures the converters know, the transfer directions and
// the instrument's byte order.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tola::structures {

enum class StructureKind : std::uint8_t {
    StructureTable,        // COMM_STRUCTURE_TABLE block, 96 bytes
    StructureSizes,        // COMM_STRUCTURE_SIZES, 96 bytes
    Setup,                 // CKII_SETUP, 1392 bytes
    Settings,              // CKNG_SETTINGS, 512 bytes
    Add2,                  // additional record 2, 68 bytes
    Add3,                  // additional record 3 (calibration matrix), 2676 bytes
    Add4,                  // additional record 4, 576 bytes
    ShortResult,           // ADD_5 short result record, 624 bytes
    TableWord18,           // record located by structure-table word 18, 11 bytes
    UsbHost,               // COMM_USB_HOST, 64 bytes
    Norm,                  // CKII_NORM, 256 bytes
    Data,                  // data block, 168 bytes
    DisplayText,           // display text block, 216 bytes
    Meas,                  // measurement block, 2280 bytes
    Results,               // CKII_RESULTS, 876 bytes
    MeasureDetails,        // TOLA_SHADE_MATCH_DETAILS, 7316 bytes
    ShadeTable,            // one of the four shade tables, 8788 bytes
    FirstGenSetup,         // first-generation setup, 1856 bytes
    FirstGenNorm,          // first-generation norm data, 304 bytes
    FirstGenData,          // first-generation data block, 216 bytes
    FirstGenResultsEntry,  // one of the 12 first-generation results entries, 628 bytes
    Touchscreen,           // touchscreen record, 16 bytes
    PsParameters,          // PS parameter record, 10 bytes
};

inline constexpr std::size_t kStructureKindCount = 23;

// Values as the transfer functions number them.
enum class Direction : std::uint8_t {
    Download = 1,  // host copy -> target layout
    Upload = 2,    // target layout -> host copy
};

// Byte order of the instrument's data: the first generation and the H8SX are
// big-endian, CPU type 2 is little-endian.
enum class ByteOrder : std::uint8_t { LittleEndian, BigEndian };

}  // namespace tola::structures
