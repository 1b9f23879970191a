// The library's own version.  Neither function takes the interface mutex.
#include "comm/api/size_tolerant.h"
#include "comm/api/version.h"

using namespace tola;

extern "C" {

TOLA_API void TOLA_Get_Dll_version(DLL_VERSION* lpVersion) {
    if (lpVersion != nullptr) *lpVersion = library_version();
}

TOLA_API void TOLA_Get_Dll_version_ex(DLL_VERSION* lpVersion, int32_t iSize) {
    with_local_copy<DLL_VERSION>(lpVersion, iSize, [](DLL_VERSION& local) {
        local = library_version();
        return 0;
    });
}

}  // extern "C"
