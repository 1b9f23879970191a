#include "comm/structures/layout_state.h"

#include "comm/structures/host_copies.h"
#include "comm/structures/layout_release_table.h"

#include <cstring>

namespace tola::structures {
namespace {

ByteOrder& byte_order() {
    static ByteOrder order = ByteOrder::LittleEndian;
    return order;
}

}  // namespace

std::string_view current_release() {
    const char* name = host_copies().version.snVersion;
    return {name, ::strnlen(name, sizeof(TNAME))};
}

ByteOrder current_byte_order() { return byte_order(); }
void set_byte_order(ByteOrder order) { byte_order() = order; }

bool release_or_later(std::string_view release) {
    return structures::release_or_later(release, current_release());
}

}  // namespace tola::structures
