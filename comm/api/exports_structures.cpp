// Exported structure transfers, table report and host-copy addresses.
#include "comm/api/frame.h"
#include "comm/api/size_tolerant.h"
#include "comm/structures/transfer_functions.h"

#include <cstring>

using namespace tola;

extern "C" {

TOLA_API int32_t bTOLA_Transfer_local_structure(PXM_COMM* lpComm, void* lpBuffer, int32_t iId, int32_t iSize,
                                                int32_t iDirection, char* lpMessage) {
    return serialised(kFlagResults<>, [&] {
        if (lpMessage != nullptr && structures::clears_message_first(iId)) lpMessage[0] = '\0';
        return structures::transfer_local_structure(lpComm, lpBuffer, iId, iSize, iDirection, lpMessage);
    });
}

TOLA_API int32_t bTOLA_Transfer_structure(int32_t, PXM_COMM* lpComm, void* lpStructure, int32_t, int32_t iDirection,
                                          char* lpMessage) {
    return serialised(kFlagResults<>, [&] {
        return structures::transfer_structure(lpComm, lpStructure, iDirection, lpMessage);
    });
}

TOLA_API int32_t TOLA_Get_COMM_structure_table(char* lpText, const COMM_STRUCTURE_TABLE* lpTable,
                                               const COMM_STRUCTURE_SIZES* lpSizes) {
    return serialised_plain([&] { structures::structure_table_report(lpText, lpTable, lpSizes); });
}

TOLA_API int32_t bTOLA_Get_CKP_Structure_Addresses(CKP_STRUCTURE_ADDRESSES_1* lpAddresses1,
                                                   CKP_STRUCTURE_ADDRESSES_2* lpAddresses2) {
    return serialised(kFlagResults<>, [&] { return structures::structure_addresses(lpAddresses1, lpAddresses2); });
}

TOLA_API int32_t bTOLA_Get_CKP_Structure_Addresses_ex(CKP_STRUCTURE_ADDRESSES_1* lpAddresses1, int32_t iSize1,
                                                      CKP_STRUCTURE_ADDRESSES_2* lpAddresses2, int32_t iSize2) {
    return serialised(kFlagResults<>, [&] {
        // Either list may be absent; a present list is exchanged size-tolerantly.
        if (lpAddresses1 == nullptr && lpAddresses2 == nullptr) return 0;
        if ((lpAddresses1 != nullptr && !caller_size_acceptable(lpAddresses1, iSize1)) ||
            (lpAddresses2 != nullptr && !caller_size_acceptable(lpAddresses2, iSize2)))
            return 0;
        CKP_STRUCTURE_ADDRESSES_1 first{};
        CKP_STRUCTURE_ADDRESSES_2 second{};
        structures::structure_addresses(&first, &second);
        auto give = [](void* caller, std::int32_t size, const void* local, std::size_t local_size) {
            if (caller == nullptr) return;
            std::memset(caller, 0, static_cast<std::size_t>(size));
            std::memcpy(caller, local, std::min(static_cast<std::size_t>(size), local_size));
        };
        give(lpAddresses1, iSize1, &first, sizeof first);
        give(lpAddresses2, iSize2, &second, sizeof second);
        return 1;
    });
}

}  // extern "C"
