// The Bluetooth link of the process's one connection: the packet protocol over
// the outside client's byte stream, with the Bluetooth timings and windows.
#pragma once

#include "comm/links/serial/packet_link.h"
#include "tola_comm.h"

#include <cstdint>

namespace tola::bluetooth {

inline constexpr std::uint32_t kDisconnectSettleMs = 200;

// Connects to the selected instrument; hRS232 holds the client's handle.
bool connect(PXM_COMM& comm);
// Disconnects (hRS232 -1, ssStatus cleared), waits 200 ms, calls the close hook.
void disconnect(PXM_COMM& comm);

// Ends the connection this link still holds without touching any record (a
// record that is not, or no longer, the one it was made for); then as disconnect.
void release();
void set_close_hook(void (*hook)());

serial::PacketLink& link();
serial::LinkState& link_state();

// Link check: 1, 230 or 231, or 0.
std::uint8_t link_check();
// Keep-alive test for kinds 10 and 11 (other kinds: lost).
bool keep_alive();

// Memory of kinds 10 and 11 through the Bluetooth windows.
bool memory_read(std::uint32_t address, std::uint8_t* buffer, std::int32_t length);
bool memory_write(std::uint32_t address, const std::uint8_t* data, std::int32_t length);

bool is_bluetooth_kind(const PXM_COMM& comm);

}  // namespace tola::bluetooth
