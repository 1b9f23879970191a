#include "comm/platform/descriptors.h"

#include <fcntl.h>
#include <unistd.h>

namespace tola::platform {

int above_standard_streams(int fd) {
    if (fd < 0 || fd >= kFirstHandedOutDescriptor) return fd;
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, kFirstHandedOutDescriptor);
    ::close(fd);
    return moved;
}

}  // namespace tola::platform
