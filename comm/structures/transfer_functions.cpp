#include "comm/structures/transfer_functions.h"

#include "comm/api/bounded_string.h"
#include "comm/api/library_state.h"

namespace tola::structures {
namespace {

constexpr std::size_t kMessageSize = sizeof(TSTRING);

bool record_valid(const PXM_COMM* comm) { return comm != nullptr && comm->dSize == sizeof(PXM_COMM); }

void set_message(char* message, const char* text) {
    if (message != nullptr) bStr_cpy(message, text, kMessageSize);
}

}  // namespace

bool clears_message_first(std::int32_t id) {
    const std::int32_t plain = id & ~CKPSTRUCT_LOCAL;
    return plain == 1 || plain == 2 || plain == 9 || (plain >= 17 && plain <= 27) || plain == 30;
}

std::int32_t transfer_local_structure(PXM_COMM* comm, void*, std::int32_t, std::int32_t, std::int32_t, char* message) {
    if (!record_valid(comm)) {
        set_message(message, "lpComm not defined");
        return 0;
    }
    // No link carries structures in this build yet: without an open link there
    // is nothing to transfer and no text to give.
    return 0;
}

std::int32_t transfer_structure(PXM_COMM* comm, void*, std::int32_t, char* message) {
    if (!record_valid(comm)) {
        set_message(message, "lpComm not defined");
        return 0;
    }
    return 0;
}

}  // namespace tola::structures
