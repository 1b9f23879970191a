// The twelve functions every Bluetooth client library exports, declared once
// with the signatures the library binds them by: a client whose definition
// differs does not compile.
#pragma once

#include <type_traits>

#include "comm/platform/bt_client_api.h"

#define TOLA_BT_EXPORT extern "C" __attribute__((visibility("default")))

TOLA_BT_EXPORT int32_t TolaBtClientInit(void);
TOLA_BT_EXPORT int32_t TolaBtClientConnect(void);
TOLA_BT_EXPORT int32_t TolaBtClientDisConnect(void);
TOLA_BT_EXPORT int32_t TolaBtClientDiscoverDevices(BT_DEVICES* devices);
TOLA_BT_EXPORT int32_t TolaBtClientSetDevice(BT_DEVICE* device);
TOLA_BT_EXPORT int32_t TolaBtClientExit(void);
TOLA_BT_EXPORT int32_t TolaBtClientReadFile(void* buffer, uint32_t length, uint32_t* bytes_read);
TOLA_BT_EXPORT int32_t TolaBtClientWriteFile(const void* buffer, uint32_t length, uint32_t* bytes_written);
TOLA_BT_EXPORT int32_t TolaBtClientClearBuffer(void);
TOLA_BT_EXPORT int32_t TolaBtClientGetRadioCount(int32_t value);
TOLA_BT_EXPORT int32_t TolaBtClientReInit(void);
TOLA_BT_EXPORT int32_t TolaBtClientGetConnectionStatus(int32_t handle);

static_assert(std::is_same_v<decltype(&TolaBtClientInit), TolaBtClientInit_fn>);
static_assert(std::is_same_v<decltype(&TolaBtClientConnect), TolaBtClientConnect_fn>);
static_assert(std::is_same_v<decltype(&TolaBtClientDisConnect), TolaBtClientDisConnect_fn>);
static_assert(std::is_same_v<decltype(&TolaBtClientDiscoverDevices), TolaBtClientDiscoverDevices_fn>);
static_assert(std::is_same_v<decltype(&TolaBtClientSetDevice), TolaBtClientSetDevice_fn>);
static_assert(std::is_same_v<decltype(&TolaBtClientExit), TolaBtClientExit_fn>);
static_assert(std::is_same_v<decltype(&TolaBtClientReadFile), TolaBtClientReadFile_fn>);
static_assert(std::is_same_v<decltype(&TolaBtClientWriteFile), TolaBtClientWriteFile_fn>);
static_assert(std::is_same_v<decltype(&TolaBtClientClearBuffer), TolaBtClientClearBuffer_fn>);
static_assert(std::is_same_v<decltype(&TolaBtClientGetRadioCount), TolaBtClientGetRadioCount_fn>);
static_assert(std::is_same_v<decltype(&TolaBtClientReInit), TolaBtClientReInit_fn>);
static_assert(std::is_same_v<decltype(&TolaBtClientGetConnectionStatus), TolaBtClientGetConnectionStatus_fn>);
