#include "comm/structures/host_copies.h"
#include "comm/structures/transfer_functions.h"

namespace tola::structures {

std::int32_t structure_addresses(CKP_STRUCTURE_ADDRESSES_1* first, CKP_STRUCTURE_ADDRESSES_2* second) {
    HostCopies& h = host_copies();
    // The defaults are read-only; the records hand them out as plain addresses.
    auto* defaults = const_cast<BuiltInDefaults*>(&built_in_defaults());
    if (first != nullptr) {
        first->lpCOMM_STRUCTURE_TABLE = &h.table;
        first->lpCOMM_STRUCTURE_SIZES = &h.sizes;
        first->lpCOMM_VERSION = &h.version;
        first->lpSHADE_ROM_TOOTH = h.shade_tables.data();
        first->lpSHADE_ROM_TAB = h.shade_tables.data() + kShadeTableSize;
        first->lpSHADE_ROM_CERAMICVERIFY = h.shade_tables.data() + 2 * kShadeTableSize;
        first->lpSHADE_ROM_CERAMICMEASURE = h.shade_tables.data() + 3 * kShadeTableSize;
        first->lpCOMM_USB_HOST = &h.host_block;
        first->lpMEASURE_DETAILS = &h.details;
        first->lpCOMM_DISPLAY_TEXT = h.display_text.data();
        first->lpCOMM_VERIFY_SHADE = h.verify_shade.data();
        first->lpDEFAULT_VERSION = &defaults->version;
        first->lpDEFAULT_SHADE_ROM_TOOTH = defaults->shade_tables.data();
        first->lpDEFAULT_SHADE_ROM_TAB = defaults->shade_tables.data() + kShadeTableSize;
        first->lpDEFAULT_SHADE_ROM_CERAMICVERIFY = defaults->shade_tables.data() + 2 * kShadeTableSize;
        first->lpDEFAULT_SHADE_ROM_CERAMICMEASURE = defaults->shade_tables.data() + 3 * kShadeTableSize;
    }
    if (second != nullptr) {
        second->lpDATA = h.data.data();
        second->lpSETUP_ROM = &h.setup;
        second->lpDEFAULT_SETUP = &defaults->setup;
        second->lpNORM = &h.norm;
        second->lpSETTINGS = &h.settings;
        second->lpADD_2 = h.add2.data();
        second->lpMEAS = h.meas.data();
        second->lpRESULTS = &h.results;
        second->lpADD_3 = h.add3.data();
        second->lpADD_4 = h.add4.data();
    }
    return (first != nullptr || second != nullptr) ? 1 : 0;
}

}  // namespace tola::structures
