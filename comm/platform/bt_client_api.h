// The twelve functions of the outside Bluetooth client library, as the library
// binds them by name from "libTolaBtClient.so".  Shared with the stand-in
// client so both sides agree on the calling signatures.
#pragma once

#include "tola_comm.h"

#include <cstdint>

extern "C" {
typedef int32_t (*TolaBtClientInit_fn)(void);
typedef int32_t (*TolaBtClientConnect_fn)(void);
typedef int32_t (*TolaBtClientDisConnect_fn)(void);
typedef int32_t (*TolaBtClientDiscoverDevices_fn)(BT_DEVICES* devices);
typedef int32_t (*TolaBtClientSetDevice_fn)(BT_DEVICE* device);
typedef int32_t (*TolaBtClientExit_fn)(void);
typedef int32_t (*TolaBtClientReadFile_fn)(void* buffer, uint32_t length, uint32_t* bytes_read);
typedef int32_t (*TolaBtClientWriteFile_fn)(const void* buffer, uint32_t length, uint32_t* bytes_written);
typedef int32_t (*TolaBtClientClearBuffer_fn)(void);
typedef int32_t (*TolaBtClientGetRadioCount_fn)(int32_t value);
typedef int32_t (*TolaBtClientReInit_fn)(void);
typedef int32_t (*TolaBtClientGetConnectionStatus_fn)(int32_t handle);
}

namespace tola::platform {

inline constexpr const char* kBtClientLibraryName = "libTolaBtClient.so";
inline constexpr const char* kBtClientVariable = "TOLA_BT_CLIENT";

struct BtClientFunctions {
    TolaBtClientInit_fn init = nullptr;
    TolaBtClientConnect_fn connect = nullptr;
    TolaBtClientDisConnect_fn disconnect = nullptr;
    TolaBtClientDiscoverDevices_fn discover_devices = nullptr;
    TolaBtClientSetDevice_fn set_device = nullptr;
    TolaBtClientExit_fn exit = nullptr;
    TolaBtClientReadFile_fn read_file = nullptr;
    TolaBtClientWriteFile_fn write_file = nullptr;
    TolaBtClientClearBuffer_fn clear_buffer = nullptr;
    TolaBtClientGetRadioCount_fn get_radio_count = nullptr;
    TolaBtClientReInit_fn reinit = nullptr;
    TolaBtClientGetConnectionStatus_fn get_connection_status = nullptr;
};

// Loads the client library by its plain name (or the file $TOLA_BT_CLIENT names) and looks up the twelve
// functions (a missing one stays null).  Returns the module handle, or null
// when the library cannot be loaded.  The library is never unloaded.
void* load_bt_client(BtClientFunctions& functions);

}  // namespace tola::platform
