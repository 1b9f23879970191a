#include "platform/sync_folder.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace tola::os {

bool sync_folder(const std::string& folder, std::string* error) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = folder + ": " + std::strerror(errno);
        return false;
    }
    const bool ok = ::fsync(fd) == 0;
    if (!ok && error) *error = folder + ": " + std::strerror(errno);
    ::close(fd);
    return ok;
}

}  // namespace tola::os
