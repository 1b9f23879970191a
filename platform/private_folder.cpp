#include "platform/private_folder.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tola::os {
namespace {

std::string mode_text(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

// What is wrong with the folder as lstat() sees it; empty when it is a folder of this user.
std::string ownership_problem(const std::filesystem::path& folder, const struct stat& st) {
    if (S_ISLNK(st.st_mode)) return folder.string() + " is a symbolic link, not a folder of its own; it is not used";
    if (!S_ISDIR(st.st_mode)) return folder.string() + " is not a folder";
    if (st.st_uid != ::getuid())
        return folder.string() + " belongs to another user (uid " + std::to_string(st.st_uid) + "); it is not used";
    return {};
}

}  // namespace

bool is_private_folder(const std::filesystem::path& folder, std::string& error) {
    struct stat st{};
    if (::lstat(folder.c_str(), &st) != 0) {
        error = "cannot use " + folder.string() + ": " + std::strerror(errno);
        return false;
    }
    error = ownership_problem(folder, st);
    if (error.empty() && (st.st_mode & 077) != 0)
        error = folder.string() + " is open to other users (mode " + mode_text(st.st_mode) +
                "); it must be private (mode 0700)";
    return error.empty();
}

bool make_private_folder(const std::filesystem::path& folder, std::string& error) {
    // Each missing folder on the way is made private as it is made; folders that
    // exist above it (/tmp, the runtime folder) are not ours to change.
    std::filesystem::path partial;
    for (const auto& part : folder) {
        partial /= part;
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
            error = "cannot make " + partial.string() + ": " + std::strerror(errno);
            return false;
        }
    }
    struct stat st{};
    if (::lstat(folder.c_str(), &st) != 0) {
        error = "cannot make " + folder.string() + ": " + std::strerror(errno);
        return false;
    }
    error = ownership_problem(folder, st);
    if (!error.empty()) return false;
    if ((st.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0) {
        error = "cannot make " + folder.string() + " private: " + std::strerror(errno);
        return false;
    }
    return is_private_folder(folder, error);
}

bool peer_is_trusted(int socket_fd, std::string& error) {
    struct ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(socket_fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) {
        error = std::string("cannot tell who serves the socket: ") + std::strerror(errno);
        return false;
    }
    if (peer.uid == ::getuid() || peer.uid == 0) return true;
    error = "the socket is served by another user (uid " + std::to_string(peer.uid) + "); it is not used";
    return false;
}

}  // namespace tola::os
