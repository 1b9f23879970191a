#include "comm/structures/host_copies.h"

#include "comm/api/bounded_string.h"

#include <cstring>

namespace tola::structures {
namespace {

BuiltInDefaults make_defaults() {
    BuiltInDefaults d;
    std::memset(&d, 0, sizeof d);
    COMM_VERSION& v = d.version;
    // The layout this library is built for.
    bStr_cpy(v.snName, "Chromatik\xAE V", kNameCopySize);
    bStr_cpy(v.snSerial_number, "H50000", kNameCopySize);
    bStr_cpy(v.snRelease, "511tD", kNameCopySize);
    bStr_cpy(v.snVersion, "CK0A.00.31.00", kNameCopySize);
    bStr_cpy(v.snRelease_date, "January 16, 2022", kNameCopySize);
    bStr_cpy(v.snInstall_date, "Not Installed", kNameCopySize);
    bStr_cpy(v.snPart, "TBD", kNameCopySize);
    bStr_cpy(v.snMFG1, "CPU-STM", kNameCopySize);
    bStr_cpy(v.snMFG2, "2", kNameCopySize);
    bStr_cpy(v.snMFG3, "2x", kNameCopySize);
    return d;
}

}  // namespace

HostCopies& host_copies() {
    static HostCopies copies{};
    return copies;
}

const BuiltInDefaults& built_in_defaults() {
    static BuiltInDefaults defaults = make_defaults();  // writable storage: callers get plain addresses
    return defaults;
}

}  // namespace tola::structures
