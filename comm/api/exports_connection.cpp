// Exported search, test, close and interface name.
#include "comm/api/bounded_string.h"
#include "comm/api/connection.h"
#include "comm/api/frame.h"
#include "comm/links/bluetooth/bt_client.h"
#include "comm/platform/link_recorder.h"

#include <cstring>

using namespace tola;

extern "C" {

TOLA_API int32_t iTOLA_comm_poll_initialize(PXM_COMM* lpComm) {
    // Marked before the wait, so a poll after a timed-out open still learns
    // that the connection was re-initialised.
    library_state().reinitialised = true;
    return serialised(kFlagResults<>, [&] {
        LibraryState& state = library_state();
        if (!bluetooth::is_bound()) bluetooth::bind_if_needed();
        std::memset(state.remembered_version, 0, sizeof state.remembered_version);
        std::memset(state.remembered_serial, 0, sizeof state.remembered_serial);
        const std::int32_t result = connection::poll_initialize(lpComm);
        if (result == connection::kConnected && lpComm != nullptr) {
            std::memcpy(state.remembered_version, lpComm->snVersion, sizeof(TNAME));
            std::memcpy(state.remembered_serial, lpComm->snSerial_number, sizeof(TNAME));
            auto text = [](const char* s, std::size_t size) { return std::string_view(s, strnlen(s, size)); };
            platform::recorder::identity(text(lpComm->snDevice, sizeof lpComm->snDevice),
                                         text(lpComm->snVersion, sizeof lpComm->snVersion),
                                         text(lpComm->snSerial_number, sizeof lpComm->snSerial_number),
                                         text(lpComm->snInterface, sizeof lpComm->snInterface));
        }
        return result;
    });
}

TOLA_API int32_t TOLA_comm_close(void) {
    return serialised_plain([] { connection::close(); });
}

TOLA_API int32_t bTOLA_comm_test(void) {
    return serialised(kFlagResults<>, [] { return connection::test(); });
}

TOLA_API int32_t bTOLA_comm_get_interface_name(char* lpText) {
    return serialised(kFlagResults<>, [&] { return connection::interface_name(lpText); });
}

}  // extern "C"
