// What the library knows of the connected instrument's layout: its release
// (from the host copy of the version block) and its byte order.
#pragma once

#include "comm/structures/structure_kind.h"

#include <string_view>

namespace tola::structures {

// The layout release named by the host copy of COMM_VERSION.
std::string_view current_release();

ByteOrder current_byte_order();
void set_byte_order(ByteOrder order);

// True when R and the instrument's release are both known and R is not newer.
bool release_or_later(std::string_view release);

}  // namespace tola::structures
