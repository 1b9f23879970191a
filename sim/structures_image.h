// Where an instrument keeps its structures and what it puts in them at start.
//
// The instrument's own code builds this image; nothing here is shared with the
// host library's converters, so a converter that misreads a layout shows up as a
// mismatch against this image.
//
// Content, in the instrument's byte order and its release's layouts:
//  - structure table (96 bytes): 24 words, the address of each structure, 0 for
//    a structure the release does not have;
//  - sizes table (96 bytes, same word order): the instrument's own size of each
//    (one shade table's size at the shade-table word, though four lie there);
//  - version block: ten 26-byte NUL-padded texts from the configuration;
//  - host command block: all zero except the state (20) and the command time
//    (1000), at their places in the release's block (host_layout.h);
//  - set-up, norm data and settings: content_setup.h, content_settings.h (the
//    first generation's settings: content_blocks.h);
//  - data block, measurement block and shade tables: content_blocks.h;
//  - results, measurement details and (.31 on) the short result record: the last
//    measurement from the factory check (content_results.h; the first generation
//    fills all twelve entries);
//  - every other structure: 32-bit words 0xC000_0000 | table word << 16 | word
//    index (so 0xC00F0003 is word 3 of the settings); a last partial word holds the
//    leading bytes of that value.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/byte_order.h"
#include "sim/content_results.h"
#include "sim/instrument_config.h"
#include "sim/memory_map.h"

namespace tola::sim {

namespace tw {  // structure-table word positions
inline constexpr std::size_t kVersion = 0, kSetup = 1, kShadeTables = 2, kNorm = 3, kMeasureDetails = 4,
                             kResults = 5, kData = 6, kHost = 7, kAdd1 = 8, kAdd2 = 9, kAdd3 = 10, kAdd4 = 11,
                             kDisplayText = 12, kAdd5 = 13, kMeas = 14, kSettings = 15, kSizes = 16,
                             kWord18 = 18;
}
inline constexpr std::size_t kTableWords = 24;
inline constexpr std::uint32_t kTableBytes = 96;
inline constexpr std::uint32_t kVersionBytes = 260;
inline constexpr std::uint32_t kTextBytes = 26;
inline constexpr std::uint32_t kHostStateIdle = 20;
inline constexpr std::uint32_t kHostInitialCommandTime = 1000;

struct Placement {
    std::size_t table_word;
    std::uint32_t address;
    std::uint32_t size;
};

struct StructureLayout {
    std::uint32_t table_address = 0;
    ByteOrder order = ByteOrder::Little;
    int layout_number = 0;             // nn of the layouts in use (layout_number())
    std::uint32_t results_entry = 0;   // size of one entry of the results (12 on the first generation)
    std::array<std::uint32_t, kTableWords> addresses{};
    std::array<std::uint32_t, kTableWords> sizes{};  // as the sizes table reports them
    std::vector<Placement> placements;  // the table itself excluded; sizes as placed

    std::optional<Placement> find(std::size_t table_word) const;
};

// Table address of an instrument kind (kind 3 has no structures: nothing).
std::optional<std::uint32_t> table_address_for(const InstrumentConfig& config);

StructureLayout plan_structures(const InstrumentConfig& config);

struct VersionTexts {
    std::string name, serial, release, version, release_date, install_date, part, mfg1, mfg2, mfg3;
};
VersionTexts version_texts(const InstrumentConfig& config, std::string_view firmware, std::string_view date);
std::vector<std::uint8_t> version_block(const VersionTexts& texts);

std::vector<std::uint8_t> pattern_block(std::size_t table_word, std::uint32_t size, ByteOrder order);
std::vector<std::uint8_t> initial_host_block(int layout_number, std::uint32_t size, ByteOrder order);
// Settings as the firmware of the release brings them.
std::vector<std::uint8_t> default_settings(const StructureLayout& layout, std::uint32_t size);

// Writes the table, the sizes table and every structure into memory.
void write_structures(MemoryMap& memory, const StructureLayout& layout, const VersionTexts& texts);

// Puts a measurement into the results and the measurement details; on the first
// generation into the results entry `entry` of twelve.
void write_measurement(MemoryMap& memory, const StructureLayout& layout, const MeasurementSample& m,
                       std::size_t entry = 0);

}  // namespace tola::sim
