// Library-wide state of the exported frame.  One instrument connection per
// process: everything here is process-global and used under the interface mutex.
#pragma once

#include "tola_comm.h"

#include <cstdint>

namespace tola {

namespace platform {
class NamedMutex;
}

// Stop state shared by the links and the structure transfers: every chunked
// transfer ends with failure as soon as it finds a halt or an error stop.
enum class StopState : int { Running = 0, HaltRequested = 19, ErrorStop = 20 };

struct LibraryState {
    int attach_count = 0;
    bool reinitialised = true;    // set by every open call, cleared by the next measurement poll
    std::int32_t poll_details = 1;
    StopState stop_state = StopState::Running;
    void (*progress_hook)(std::int32_t count) = nullptr;
    PXM_COMM* record = nullptr;   // the record handed to the last open call
    TNAME remembered_version{};
    TNAME remembered_serial{};
};

LibraryState& library_state();

// The interface mutex of this process, created on first use.  Its name is
// "CKP_InterfaceMutex" unless TOLA_MUTEX_NAME names another (tests use that to
// keep parallel test processes apart).
platform::NamedMutex& interface_mutex();

// Drops this process's handle to the interface mutex (library unload).
void release_interface_mutex();

// The remembered connection record, or null when none was given or its dSize
// is not that of PXM_COMM.
PXM_COMM* valid_record();

inline bool stop_requested() {
    const StopState s = library_state().stop_state;
    return s == StopState::HaltRequested || s == StopState::ErrorStop;
}

// A progress step: reports the count to the hook and tells whether the
// transfer may go on (false once a halt or an error stop is in force).
bool progress_step(std::int32_t count);

}  // namespace tola
