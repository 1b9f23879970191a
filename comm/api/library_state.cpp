#include "comm/api/library_state.h"

#include "comm/platform/named_mutex.h"

#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>

namespace tola {
namespace {

std::unique_ptr<platform::NamedMutex> the_mutex;
std::once_flag mutex_once;

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
    std::call_once(mutex_once, [] { the_mutex = std::make_unique<platform::NamedMutex>(mutex_name()); });
    return *the_mutex;
}

void release_interface_mutex() { the_mutex.reset(); }

PXM_COMM* valid_record() {
    PXM_COMM* record = library_state().record;
    return (record != nullptr && record->dSize == sizeof(PXM_COMM)) ? record : nullptr;
}

bool progress_step(std::int32_t count) {
    if (auto hook = library_state().progress_hook) hook(count);
    return !stop_requested();
}

}  // namespace tola
