// One shade table (8788 bytes in the host); the four tables lie back to back.
#include "comm/structures/converter_maps.h"

namespace tola::structures {
namespace {

constexpr std::array kShadeUnits{
    names(0, 1),          // table name; bytes 25..27 stay
    words(28, 43),
    halves(200, 11),      // 222, 223: padding
    words(224, 93),
    halves(596, 256),
    words(1108, 528),
    halves(3220, 841),    // 4902, 4903: padding
    words(4904, 971),
};

// .16 to .23 keep 624 further bytes after the name (9412 bytes); .16, .17,
// .19 and .20 report 8920 bytes but are read with this layout all the same.
constexpr auto kShade624Units = shift_target_from(kShadeUnits, 28, 624);

// .11 to .15 keep 132 further bytes after host byte 199 and end two words
// short (8912 bytes).
constexpr auto kShade132Units = [] {
    auto units = shift_target_from(kShadeUnits, 200, 132);
    units.back().count = 969;
    return units;
}();

// .18 tables cannot be read with any of these layouts: refused.
constexpr std::array kShadeRules{
    ConversionRule{{24, 32}, kShadeUnits},
    ConversionRule{{22, 23}, kShade624Units},
    ConversionRule{{19, 20}, kShade624Units},
    ConversionRule{{16, 17}, kShade624Units},
    ConversionRule{{11, 15}, kShade132Units},
};

}  // namespace

constinit const StructureConverter kShadeTableConverter{
    StructureKind::ShadeTable, 8788, ReleaseWord::ShadeTable, 0, true, false, kShadeRules};

}  // namespace tola::structures
