// What the loader needs from the operating system: file existence, loading a
// shared library and looking names up in it.  The real implementation calls
// dlopen/dlsym; tests hand the loader a fake.
#pragma once

#include <memory>
#include <string>

namespace ckupdate {

class DynamicLibraryApi {
public:
    virtual ~DynamicLibraryApi() = default;
    // True when a file of that name exists, following links.
    virtual bool FileExists(const std::string& path) = 0;
    // The module, or null; LastErrorText() then says why.
    virtual void* Open(const std::string& path) = 0;
    virtual std::string LastErrorText() = 0;
    virtual void* Symbol(void* module, const char* name) = 0;
    virtual void Close(void* module) = 0;
    virtual std::string CurrentDirectory() = 0;
    // The library installed with the program ("<program>/../lib/libTOLA_comm.so.1",
    // else the plain name there), or empty.
    virtual std::string InstalledLibraryPath() = 0;
};

// The operating system's loader.
std::unique_ptr<DynamicLibraryApi> SystemDynamicLibraryApi();

}  // namespace ckupdate
