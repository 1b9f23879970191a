// The serial-port link of the process's one connection: opening and closing
// the port named in the record, and the packet protocol over it with the
// serial port's timings and memory windows.
#pragma once

#include "comm/links/serial/link_state.h"
#include "comm/links/serial/packet_link.h"
#include "tola_comm.h"

#include <cstdint>

namespace tola::serial {

inline constexpr std::uint32_t kCloseSettleMs = 200;

// Opens "COM1".."COM20" for the record: 56000 baud 8N1 raw, both directions
// purged.  A port that cannot be opened clears snRS232 and fails without
// text; one that cannot be set up is closed again with "RS232 port not
// available".  On success hRS232 holds the port and snRS232 its name.
bool open_port(PXM_COMM& comm, const char* name);

// Closes the record's port (hRS232 -1, ssStatus cleared), lets the line
// settle for 200 ms and calls the close hook.  The keep-alive state stays.
void close_port(PXM_COMM& comm);

// Closes the port this link still holds without touching any record (a record
// that is not, or no longer, the one the port was opened for); then as close_port.
void release_port();

// Called by close_port: the structure layer clears its load flags here.
void set_close_hook(void (*hook)());

// The packet protocol on the record's serial port.
PacketLink& link();
LinkState& link_state();

// Link check on the open port: 1, 230 or 231, or 0.
std::uint8_t link_check();

// Keep-alive test for kinds 2, 8 and 9; every other kind is alive.
bool keep_alive();

// Memory of kinds 8 and 9; other kinds and ranges outside the serial windows
// fail without traffic.
bool memory_read(std::uint32_t address, std::uint8_t* buffer, std::int32_t length);
bool memory_write(std::uint32_t address, const std::uint8_t* data, std::int32_t length);

}  // namespace tola::serial
