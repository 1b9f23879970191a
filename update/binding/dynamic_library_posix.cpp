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
        // The installed layout first, then the build tree's (bin and lib side
        // by side).  In each the SONAME first: it is the interface the program
        // is built for, while the plain name is the development link, which may
        // one day name another major version (and only libtola-comm-dev has it).
        const auto folder = exe.parent_path();
        const std::filesystem::path folders[] = {folder / CKUPDATE_LIBDIR_FROM_BINDIR, folder.parent_path() / "lib"};
        for (const auto& lib : folders) {
            for (const char* name : {"libTOLA_comm.so.1", "libTOLA_comm.so"}) {
                const auto path = lib / name;
                if (std::filesystem::exists(path, ec)) return path.lexically_normal().string();
            }
        }
        return (folder.parent_path() / "lib" / "libTOLA_comm.so.1").string();
    }

private:
    std::string error_;
};

}  // namespace

std::unique_ptr<DynamicLibraryApi> SystemDynamicLibraryApi() { return std::make_unique<PosixDynamicLibraryApi>(); }

}  // namespace ckupdate
