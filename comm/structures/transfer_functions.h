// The exported structure transfers: by identifier, by host-copy address, the
// structure-table report and the addresses of the host copies.
#pragma once

#include "tola_comm.h"

#include <cstdint>

namespace tola::structures {

std::int32_t transfer_local_structure(PXM_COMM* comm, void* buffer, std::int32_t id, std::int32_t size,
                                      std::int32_t direction, char* message);
std::int32_t transfer_structure(PXM_COMM* comm, void* structure, std::int32_t direction, char* message);
void structure_table_report(char* text, const COMM_STRUCTURE_TABLE* table, const COMM_STRUCTURE_SIZES* sizes);
std::int32_t structure_addresses(CKP_STRUCTURE_ADDRESSES_1* first, CKP_STRUCTURE_ADDRESSES_2* second);

// Identifiers whose failure text goes to the caller's message buffer, which
// is therefore cleared before the transfer runs.
bool clears_message_first(std::int32_t id);

}  // namespace tola::structures
