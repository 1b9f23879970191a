// Structures of the first generation, which keeps its own host copies: setup,
// norm data, data block, results entries, touchscreen and PS parameters.
#include "comm/structures/converter_maps.h"

namespace tola::structures {
namespace {

// ---- setup (1856 bytes, the layout of .16 to .20) ---------------------------

constexpr std::array kFirstSetupUnits{
    words(0, 3), bytes(12, 2), words(16, 50),
    names(216, 1), words(244, 5),  // four groups of a name and 5 words
    names(264, 1), words(292, 5),
    names(312, 1), words(340, 5),
    names(360, 1), words(388, 5),
    words(408, 7), halves(436, 2), words(440, 3), halves(452, 5),  // 462..467 not moved
    words(468, 72),
    halves(756, 1), words(760, 24),  // each half-word is followed by 2 unmoved bytes
    halves(856, 1), words(860, 24),
    halves(956, 1), words(960, 24),
    halves(1056, 1), words(1060, 199),
};

// The download to .16 .. .20 sends the half-words at 756, 856, 956 and 1056
// from the two bytes after them in the host copy.
constexpr auto kFirstSetupDownload16Units = [] {
    auto units = kFirstSetupUnits;
    for (Unit& unit : units) {
        if (unit.kind == UnitKind::Word16 && unit.host >= 756) unit.host = static_cast<std::uint16_t>(unit.host + 2);
    }
    return units;
}();

// .11, .14 and .15 hold the same fields with a shorter closing run of words,
// ending at their target size (1312, 1324, 1540 bytes).
constexpr std::size_t kFirstSetupHead = kFirstSetupUnits.size() - 1;
constexpr auto kFirstSetup15Units = head_then<kFirstSetupHead>(kFirstSetupUnits, std::array{words(1060, 120)});
constexpr auto kFirstSetup14Units = head_then<kFirstSetupHead>(kFirstSetupUnits, std::array{words(1060, 66)});
constexpr auto kFirstSetup11Units = head_then<kFirstSetupHead>(kFirstSetupUnits, std::array{words(1060, 63)});

constexpr std::array kFirstSetupRules{
    ConversionRule{{16, 20}, kFirstSetupDownload16Units, false, true},
    ConversionRule{{16, 32}, kFirstSetupUnits},
    ConversionRule{{15, 15}, kFirstSetup15Units},
    ConversionRule{{14, 14}, kFirstSetup14Units},
    ConversionRule{{11, 11}, kFirstSetup11Units},
};

// ---- norm data (76 words) ---------------------------------------------------

constexpr std::array kFirstNormUnits{words(0, 76)};
// .11 and .14 have 20 bytes of their own in front and no room for host words 0..3.
constexpr std::array kFirstNorm11Units{words(16, 20, 72)};
constexpr std::array kFirstNormRules{
    ConversionRule{{15, 32}, kFirstNormUnits},
    ConversionRule{{11, 14}, kFirstNorm11Units},
};

// ---- data block (216 bytes, the layout of .17 to .20) -----------------------

constexpr std::array kFirstDataUnits{
    halves(0, 48), words(96, 24), bytes(192, 1), words(196, 1), bytes(200, 1), words(204, 1),
    halves(208, 2), words(212, 1),
};
// .14 to .16 (208 bytes) end before the two half-words at 208, .11 (204
// bytes) also before the word at 204; what they hold sits in place.
constexpr std::array kFirstDataRules{
    ConversionRule{{17, 20}, kFirstDataUnits},
    ConversionRule{{14, 16}, std::span<const Unit>(kFirstDataUnits).first(6)},
    ConversionRule{{11, 11}, std::span<const Unit>(kFirstDataUnits).first(5)},
    // The later generation is only ever sent this block.
    ConversionRule{{22, 32}, kFirstDataUnits, false, true},
};

// ---- results entry (628 bytes, the layout of .19 and .20) -------------------

constexpr std::array kFirstResultsUnits{
    words(0, 44), names(176, 3), words(256, 18), names(328, 1), words(356, 25),
    words(460, 1), bytes(464, 52), words(516, 28),
};
// .16 to .18 (456 bytes) end after the words at 356; .14, .15 (676 bytes)
// hold the .19 fields and 48 bytes of their own after them; .11 (576 bytes)
// ends 52 bytes early.
constexpr auto kFirstResults11Units = head_then<7>(kFirstResultsUnits, std::array{words(516, 15)});
constexpr std::array kFirstResultsRules{
    ConversionRule{{19, 20}, kFirstResultsUnits},
    ConversionRule{{16, 18}, std::span<const Unit>(kFirstResultsUnits).first(5)},
    ConversionRule{{14, 15}, kFirstResultsUnits},
    ConversionRule{{11, 11}, kFirstResults11Units},
    ConversionRule{{22, 32}, kFirstResultsUnits, false, true},
};

// ---- touchscreen (4 words) and PS parameters (5 half-words) -----------------

constexpr std::array kTouchscreenUnits{words(0, 4)};
constexpr std::array kTouchscreenRules{
    ConversionRule{{22, 32}, kTouchscreenUnits},
    ConversionRule{{14, 20}, kTouchscreenUnits},
};

constexpr std::array kPsUnits{halves(0, 5)};
constexpr std::array kPs11Units{halves(0, 4)};
constexpr std::array kPsRules{
    ConversionRule{{22, 32}, kPsUnits},
    ConversionRule{{14, 20}, kPsUnits},
    ConversionRule{{11, 11}, kPs11Units},
};

}  // namespace

constinit const StructureConverter kFirstGenSetupConverter{
    StructureKind::FirstGenSetup, 1856, ReleaseWord::Setup, 0, false, true, kFirstSetupRules};
constinit const StructureConverter kFirstGenNormConverter{
    StructureKind::FirstGenNorm, 304, ReleaseWord::Norm, 0, true, true, kFirstNormRules};
constinit const StructureConverter kFirstGenDataConverter{
    StructureKind::FirstGenData, 216, ReleaseWord::Data, 0, true, true, kFirstDataRules};
constinit const StructureConverter kFirstGenResultsEntryConverter{
    StructureKind::FirstGenResultsEntry, 628, ReleaseWord::Results, 0, false, true, kFirstResultsRules};
constinit const StructureConverter kTouchscreenConverter{
    StructureKind::Touchscreen, 16, ReleaseWord::Add4, 0, false, false, kTouchscreenRules};
constinit const StructureConverter kPsParametersConverter{
    StructureKind::PsParameters, 10, ReleaseWord::Add3, 0, false, false, kPsRules};

}  // namespace tola::structures
