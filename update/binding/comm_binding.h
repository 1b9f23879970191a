// Finds the communication library at run time, loads it and binds its exports
// into the function table (U_CKPInterface).  One instance per program; it also
// keeps the program's own handle to the interface mutex open for its lifetime.
//
// Loading and unloading happen on the main thread while no other thread uses
// the library; the wrappers (Api()) may then be called from any thread, the
// library serialising its calls with the interface mutex.
#pragma once

#include "update/binding/comm_api.h"
#include "update/binding/dynamic_library.h"
#include "update/program_error.h"

#include <array>
#include <functional>
#include <memory>
#include <string>

namespace tola::platform {
class NamedMutex;
}

namespace ckupdate {

// Failures of loading: the file does not load, or a required name is missing.
CKUPDATE_ERROR_CLASS(ECommDllError);

// The twelve places searched, relative to the current working directory, and
// the placeholder handed back when none holds a library.
extern const std::array<const char*, 13> kCommDllSearchList;
inline constexpr const char* kNoCommDll = "--DLL--";

// The version record used when the library offers no version function.
DLL_VERSION DefaultDllVersion();

// Name of the interface mutex: TOLA_MUTEX_NAME when set (tests), else "CKP_InterfaceMutex".
std::string InterfaceMutexName();

class CommBinding {
public:
    using TraceSink = std::function<void(const std::string&)>;

    explicit CommBinding(std::unique_ptr<DynamicLibraryApi> api = SystemDynamicLibraryApi());
    ~CommBinding();
    CommBinding(const CommBinding&) = delete;
    CommBinding& operator=(const CommBinding&) = delete;

    // Searches, loads and binds.  path receives the loaded file, or "--DLL--".
    // True when loaded and every required name is bound; throws ECommDllError
    // when the first existing file does not load or lacks a required name.
    bool LoadCommDll(std::string& path);
    // Empties the table and frees a loaded library; whether one was loaded.
    bool UnloadCommDll();
    // Fills the table from the loaded module; throws for a missing required name.
    bool BindCommFunctions();
    void GetCommDllVersion(DLL_VERSION& version) const;
    void SetCommTraceSink(TraceSink sink);

    const CommFunctions& Functions() const { return table_; }
    CommApi Api() const { return CommApi(&table_); }
    const std::string& LoadedPath() const { return path_; }
    const std::string& LoadDirectory() const { return directory_; }
    bool InterfaceMutexOpen() const;

private:
    void Trace(const std::string& text) const;

    std::unique_ptr<DynamicLibraryApi> api_;
    std::unique_ptr<tola::platform::NamedMutex> mutex_;
    void* module_ = nullptr;
    std::string path_;
    std::string directory_;
    CommFunctions table_{};
    TraceSink sink_;
};

}  // namespace ckupdate
