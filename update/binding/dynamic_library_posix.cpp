#include "update/binding/dynamic_library.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <filesystem>

namespace ckupdate {
namespace {

class PosixDynamicLibraryApi final : public DynamicLibraryApi {
public:
    bool FileExists(const std::string& path) override {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0;
    }
    void* Open(const std::string& path) override {
        void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        const char* why = module == nullptr ? ::dlerror() : nullptr;
        error_ = why != nullptr ? why : "";
        return module;
    }
    std::string LastErrorText() override { return error_; }
    void* Symbol(void* module, const char* name) override { return ::dlsym(module, name); }
    void Close(void* module) override { ::dlclose(module); }
    std::string CurrentDirectory() override {
        std::error_code ec;
        const auto dir = std::filesystem::current_path(ec);
        return ec ? std::string() : dir.string();
    }
    std::string InstalledLibraryPath() override {
        std::error_code ec;
        const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
        if (ec) return {};
        // The installed layout first, then the build tree's (bin and lib side by side).
        const auto folder = exe.parent_path();
        const auto installed = folder / CKUPDATE_LIBDIR_FROM_BINDIR / "libTOLA_comm.so";
        if (std::filesystem::exists(installed, ec)) return installed.lexically_normal().string();
        // Installed from packages without the development files, only the
        // SONAME link is there.
        auto soname = installed;
        soname += ".1";
        if (std::filesystem::exists(soname, ec)) return soname.lexically_normal().string();
        return (folder.parent_path() / "lib" / "libTOLA_comm.so").string();
    }

private:
    std::string error_;
};

}  // namespace

std::unique_ptr<DynamicLibraryApi> SystemDynamicLibraryApi() { return std::make_unique<PosixDynamicLibraryApi>(); }

}  // namespace ckupdate
