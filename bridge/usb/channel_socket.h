// The bridge's channel sockets: private folders, listening sockets, reading one
// request and writing one reply with bounded waits, and the lock that keeps one
// bridge per channel folder.  The socket calls themselves are the shared ones of
// platform/unix_socket.h.
#pragma once

#include <filesystem>
#include <string>

#include "comm/platform/usb_channel_frame.h"
#include "platform/private_folder.h"
#include "platform/unix_socket.h"

namespace tola::usbd {

using tola::os::accept_from;
using tola::os::Fd;
using tola::os::remove_socket_file;
using tola::os::wait_for;
using tola::os::WakeEvent;

using tola::os::make_private_folder;

// A listening socket at the path, in a private folder; a stale socket file
// there is replaced, anything else at the path is left alone.
Fd listen_at(const std::filesystem::path& path, std::string& error);

enum class ReadOutcome { Request, Closed, Malformed, TimedOut };

// Reads one whole request once its first bytes are there; the rest must follow
// within `timeout_ms`.
ReadOutcome read_request(const Fd& connection, usbchannel::Request& request, int timeout_ms);
bool write_reply(const Fd& connection, const usbchannel::Reply& reply, int timeout_ms);

// Removes the sockets in the folder that no one listens on any more (left by a
// run that crashed); sockets someone still serves are left alone.
void remove_stale_sockets(const std::filesystem::path& folder);

// An exclusive lock on a file: one bridge per channel folder.
Fd lock_file(const std::filesystem::path& path, std::string& error);

}  // namespace tola::usbd
