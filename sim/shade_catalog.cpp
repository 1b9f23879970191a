#include "sim/shade_catalog.h"

#include <initializer_list>

namespace tola::sim {
namespace {

const std::initializer_list<const char*> kTables[] = {
#include "data/shade_names.inc"
};

const std::initializer_list<const char*>& table(Shades t) { return kTables[static_cast<std::size_t>(t)]; }

}  // namespace

std::uint8_t shade_code(Shades t, std::string_view name) {
    std::size_t i = 0;
    for (const char* entry : table(t)) {
        ++i;
        if (name == entry) return static_cast<std::uint8_t>(i);
    }
    return 0;
}

std::string shade_name(Shades t, std::uint8_t code) {
    if (code == 0 || code > table(t).size()) return "---";
    return table(t).begin()[code - 1];
}

std::string classical_block(std::string_view classical) {
    return shade_name(Shades::ClassicalBlock, shade_code(Shades::Classical, classical));
}

std::string second_block(std::string_view interpolated) {
    return shade_name(Shades::SecondBlock, shade_code(Shades::Interpolated, interpolated));
}

}  // namespace tola::sim
