// The simulator's Unix-domain stream sockets, wake-up event and poll(): the
// shared helpers of platform/unix_socket.h under the simulator's names.
#pragma once

#include <string>

#include "platform/unix_socket.h"

namespace tola::sim::os {

using tola::os::accept_from;
using tola::os::connect_to;
using tola::os::Fd;
using tola::os::read_some;
using tola::os::receive_exact;
using tola::os::remove_socket_file;
using tola::os::send_all;
using tola::os::wait_for;
using tola::os::WakeEvent;
using tola::os::write_some;

// Binds a listening socket at the path (parent folders made, a stale socket
// replaced); the reason of a failure goes to `error` when given.
inline Fd listen_at(const std::filesystem::path& path, std::string* error) {
    std::string why;
    Fd fd = tola::os::listen_at(path, why);
    if (!fd && error) *error = why;
    return fd;
}

}  // namespace tola::sim::os
