// Structure table, sizes table and the additional records ADD_2 to ADD_5 and
// the word-18 record.
#include "comm/structures/converter_maps.h"

namespace tola::structures {
namespace {

// Both tables are 24 independent words in every release; no release test.
constexpr std::array kTableUnits{words(0, 24)};
constexpr std::array kTableRules{ConversionRule{{0, 255}, kTableUnits}};

// ADD_2 from .25 on: 7 words, the name as text, 2 words, 4 bytes.
constexpr std::array kAdd2Units{words(0, 7), texts(28, 1), words(56, 2), bytes(64, 4)};
constexpr std::array kAdd2Rules{
    ConversionRule{{25, 32}, kAdd2Units},
    // .24 holds bytes 0-55 only: the words and the name.
    ConversionRule{{24, 24}, std::span<const Unit>(kAdd2Units).first(2)},
    // Older releases have no ADD_2; the transfer succeeds without moving anything.
    ConversionRule{{11, 23}, {}},
};

constexpr std::array kAdd3Units{words(0, 669)};
constexpr std::array kAdd3Rules{ConversionRule{{30, 32}, kAdd3Units}};

constexpr std::array kAdd4Units{words(0, 144)};
constexpr std::array kAdd4Rules{ConversionRule{{29, 32}, kAdd4Units}};

constexpr std::array kShortResultUnits{
    bytes(0, 100),   halves(100, 36), words(172, 16), bytes(236, 74), words(312, 16), bytes(376, 74),
    words(452, 16),  bytes(516, 74),  halves(592, 2), halves(598, 4), words(608, 3),
};
// The instrument only reports this record; it is never written back.
constexpr std::array kShortResultRules{ConversionRule{{31, 32}, kShortResultUnits, true, false}};

// The word-18 record travels unchanged, its words included (32-bit at 0 and 4,
// 16-bit at 8, a byte at 10): they are never reversed.
constexpr std::array kTableWord18Units{bytes(0, 11)};
constexpr std::array kTableWord18Rules{ConversionRule{{32, 32}, kTableWord18Units}};

}  // namespace

constinit const StructureConverter kStructureTableConverter{
    StructureKind::StructureTable, 96, std::nullopt, 96, false, false, kTableRules};
constinit const StructureConverter kStructureSizesConverter{
    StructureKind::StructureSizes, 96, std::nullopt, 96, false, false, kTableRules};
constinit const StructureConverter kAdd2Converter{
    StructureKind::Add2, 68, ReleaseWord::Add2, 0, false, false, kAdd2Rules};
constinit const StructureConverter kAdd3Converter{
    StructureKind::Add3, 2676, ReleaseWord::Add3, 0, true, true, kAdd3Rules};
constinit const StructureConverter kAdd4Converter{
    StructureKind::Add4, 576, ReleaseWord::Add4, 0, true, true, kAdd4Rules};
constinit const StructureConverter kShortResultConverter{
    StructureKind::ShortResult, 624, ReleaseWord::Add5, 0, true, false, kShortResultRules};
constinit const StructureConverter kTableWord18Converter{
    StructureKind::TableWord18, 11, ReleaseWord::TableWord18, 0, false, false, kTableWord18Rules};

}  // namespace tola::structures
