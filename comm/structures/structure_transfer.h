// Moving one structure between the instrument and its host copy by the
// uniform rule, reading the structure table, and loading at USB open.
#pragma once

#include "comm/structures/structure_catalogue.h"

#include <cstdint>

namespace tola::structures {

bool upload(Copy copy);
bool download(Copy copy);

// Identifier 8: upload or download of the host command block.
bool host_block_transfer(int direction);

// Reads and checks the structure table and the version block of a USB
// instrument, and recognises its layout release.
bool read_structure_table_usb();

// Loads what a USB connection needs when it opens (kinds 1 and 4).
bool load_at_usb_open();

bool table_loaded();

}  // namespace tola::structures
