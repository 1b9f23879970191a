#include "sim/platform/environment.h"

#include <cstdlib>
#include <string>

#include <unistd.h>

namespace tola::sim {

std::filesystem::path default_usb_dir() {
    if (const char* d = std::getenv("TOLA_USB_DIR"); d && *d) return d;
    if (const char* x = std::getenv("XDG_RUNTIME_DIR"); x && *x) return std::filesystem::path(x) / "tola" / "usb";
    return std::filesystem::path("/tmp") / ("tola-" + std::to_string(::getuid())) / "usb";
}

std::filesystem::path default_bt_dir() {
    if (const char* d = std::getenv("TOLA_BT_DIR"); d && *d) return d;
    if (const char* x = std::getenv("XDG_RUNTIME_DIR"); x && *x) return std::filesystem::path(x) / "tola" / "bt";
    return std::filesystem::path("/tmp") / ("tola-" + std::to_string(::getuid())) / "bt";
}

}  // namespace tola::sim
