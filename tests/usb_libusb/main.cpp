// The libusb tests run with umockdev's preload library, which shows libusb the
// mock bus instead of the machine's.  Started without it, the program starts
// itself again with it, so that ctest and a developer run it the same way.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

namespace {

constexpr const char* kPreload = "libumockdev-preload.so.0";

void restart_with_preload(char** argv) {
    const char* preload = std::getenv("LD_PRELOAD");
    if (preload && std::strstr(preload, "libumockdev-preload")) return;
    std::string value = kPreload;
    if (preload && *preload) value += std::string(":") + preload;
    ::setenv("LD_PRELOAD", value.c_str(), 1);
    // The preload library comes first in the load order; a sanitizer runtime
    // that checks for being first is told that this is intended.
    std::string asan = "verify_asan_link_order=0";
    if (const char* o = std::getenv("ASAN_OPTIONS"); o && *o) asan = std::string(o) + ":" + asan;
    ::setenv("ASAN_OPTIONS", asan.c_str(), 1);
    ::execv("/proc/self/exe", argv);
    std::perror("cannot restart with the umockdev preload library");
    std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
    restart_with_preload(argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
