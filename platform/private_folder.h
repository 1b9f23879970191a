// Folders and sockets that only this user may reach.  The channel sockets speak
// for an instrument: a folder that another user can write, or a socket that
// another user serves, could stand in for one.  The library, the USB bridge and
// the virtual instrument use these same checks.
#pragma once

#include <filesystem>
#include <string>

namespace tola::os {

// Makes the folder, and any missing parent, with mode 0700.  An existing folder
// must be a real folder (not a symbolic link) owned by this user; it is made
// private when it is not.  False with the reason otherwise.
bool make_private_folder(const std::filesystem::path& folder, std::string& error);

// The folder exists, is a real folder owned by this user, and neither group
// nor others may use it.
bool is_private_folder(const std::filesystem::path& folder, std::string& error);

// The process serving the connected Unix-domain socket runs as this user or as
// root.
bool peer_is_trusted(int socket_fd, std::string& error);

}  // namespace tola::os
