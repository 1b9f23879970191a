#include "comm/api/library_state.h"

#include "comm/platform/named_mutex.h"

#include <cstdlib>
#include <mutex>
#include <string>

namespace tola {
namespace {

// A plain pointer and flags: nothing here has a destructor that could run at
// process exit beneath a thread that is still inside an export.
platform::NamedMutex* the_mutex = nullptr;
std::once_flag mutex_once;
std::atomic<int> calls_in_flight{0};
std::atomic<bool> unloading{false};

std::string mutex_name() {
    const char* name = std::getenv("TOLA_MUTEX_NAME");
    return (name != nullptr && *name != '\0') ? std::string(name) : std::string("CKP_InterfaceMutex");
}

}  // namespace

LibraryState& library_state() {
    static LibraryState state;
    return state;
}

platform::NamedMutex& interface_mutex() {
    std::call_once(mutex_once, [] { the_mutex = new platform::NamedMutex(mutex_name()); });
    return *the_mutex;
}

// Entering announces the call before it looks at the unload flag, and the
// unload raises the flag before it counts the calls: of a call and an unload
// that meet, at least one sees the other (both orders are sequentially consistent).
bool enter_call() {
    calls_in_flight.fetch_add(1);
    if (!unloading.load()) return true;
    calls_in_flight.fetch_sub(1);
    return false;
}

void leave_call() { calls_in_flight.fetch_sub(1); }

void release_interface_mutex() {
    unloading.store(true);
    if (calls_in_flight.load() != 0) return;
    delete the_mutex;
    the_mutex = nullptr;
}

PXM_COMM* valid_record() {
    PXM_COMM* record = library_state().record;
    return (record != nullptr && record->dSize == sizeof(PXM_COMM)) ? record : nullptr;
}

bool progress_step(std::int32_t count) {
    if (auto hook = library_state().progress_hook) hook(count);
    return !stop_requested();
}

}  // namespace tola
