#include "comm/api/version.h"

#include <cstdio>
#include <cstring>

namespace tola {

DLL_VERSION library_version() {
    DLL_VERSION v;
    std::memset(&v, 0, sizeof v);
    v.dMajor = 1;
    v.dMinor = 0;
    v.dRelease = 12017;
    v.dBuild = 385;
    std::snprintf(v.snVersion, sizeof v.snVersion, "%d.%d.%d.%d", static_cast<int>(v.dMajor),
                  static_cast<int>(v.dMinor), static_cast<int>(v.dRelease), static_cast<int>(v.dBuild));
    std::snprintf(v.snDate, sizeof v.snDate, "%s", "2022-01-18");
    std::snprintf(v.snTime, sizeof v.snTime, "%s", "15:17:11");
    return v;
}

}  // namespace tola
