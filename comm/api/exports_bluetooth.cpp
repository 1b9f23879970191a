// Exported Bluetooth search and selection, passed through to the client.
#include "comm/api/frame.h"
#include "comm/api/size_tolerant.h"
#include "comm/links/bluetooth/bt_client.h"

#include <cstring>

using namespace tola;

extern "C" {

TOLA_API int32_t bTOLA_comm_bt_discovery_ex(BT_DEVICES* lpDevices, int32_t iSize) {
    return serialised(kFlagResults<>, [&] {
        if (!bluetooth::is_bound()) bluetooth::bind_if_needed();
        return with_local_copy<BT_DEVICES>(lpDevices, iSize, [](BT_DEVICES& devices) {
                   // The record is the search's output only: the client fills a clean one.
                   std::memset(&devices, 0, sizeof devices);
                   const std::int32_t result = bluetooth::client_discover(devices);
                   // A client that reports more devices than the record holds is cut down to it.
                   if (devices.iCount > TOLA_BT_DEVICES_MAX) devices.iCount = TOLA_BT_DEVICES_MAX;
                   return result;
               }).value_or(0);
    });
}

TOLA_API int32_t TOLA_comm_bt_set_device_ex(BT_DEVICE* lpDevice, int32_t iSize) {
    return serialised_plain([&] {
        if (!bluetooth::is_bound()) bluetooth::bind_if_needed();
        with_local_copy<BT_DEVICE>(lpDevice, iSize, [](BT_DEVICE& device) { return bluetooth::client_set_device(device); });
    });
}

TOLA_API int32_t bTOLA_comm_bt_get_radio_count(int32_t iValue) {
    return serialised(kFlagResults<>, [&] { return bluetooth::client_radio_count(iValue); });
}

TOLA_API int32_t bTOLA_comm_bt_reinit(void) {
    return serialised(kFlagResults<>, [] { return bluetooth::client_reinit(); });
}

}  // extern "C"
