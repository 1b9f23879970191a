// The binding of the outside Bluetooth client.  Every call goes through a guard
// that answers -1 when the client or the function is missing.
#pragma once

#include "tola_comm.h"

#include <cstdint>

namespace tola::bluetooth {

inline constexpr std::int32_t kMissing = -1;

bool is_bound();
// Binds the client when it is not bound yet; returns the client's Init result
// (0 when Init is missing or the library cannot be loaded).
std::int32_t bind_if_needed();

std::int32_t client_connect();
std::int32_t client_disconnect();
std::int32_t client_discover(BT_DEVICES& devices);
std::int32_t client_set_device(BT_DEVICE& device);
std::int32_t client_read(void* buffer, std::uint32_t length, std::uint32_t* bytes_read);
std::int32_t client_write(const void* buffer, std::uint32_t length, std::uint32_t* bytes_written);
std::int32_t client_clear_buffer();
std::int32_t client_radio_count(std::int32_t value);
std::int32_t client_reinit();
std::int32_t client_connection_status(std::int32_t handle);

}  // namespace tola::bluetooth
