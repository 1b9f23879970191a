#include "comm/measurements/shade_names.h"

#include <initializer_list>

namespace tola::measurements {
namespace {

const std::initializer_list<const char*> kTables[] = {
#include "data/shade_names.inc"
};
static_assert(sizeof kTables / sizeof kTables[0] == 5, "five shade-name tables");

const std::initializer_list<const char*>& table_of(ShadeTable table) {
    return kTables[static_cast<std::size_t>(table)];
}

}  // namespace

std::size_t shade_table_size(ShadeTable table) { return table_of(table).size(); }

const char* shade_name_by_index(ShadeTable table, std::int64_t index) {
    const auto& names = table_of(table);
    if (index < 0 || static_cast<std::uint64_t>(index) >= names.size()) return nullptr;
    return names.begin()[index];
}

const char* shade_name_by_code(ShadeTable table, std::uint32_t code) {
    if (code == 0) return nullptr;
    return shade_name_by_index(table, static_cast<std::int64_t>(code) - 1);
}

}  // namespace tola::measurements
