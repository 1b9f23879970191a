// Library-wide state of the exported frame.  One instrument connection per
// process: everything here is process-global and used under the interface mutex.
#pragma once

#include "tola_comm.h"

#include <atomic>
#include <cstdint>

namespace tola {

namespace platform {
class NamedMutex;
}

// Stop state shared by the links and the structure transfers: every chunked
// transfer ends with failure as soon as it finds a halt or an error stop.
enum class StopState : int { Running = 0, HaltRequested = 19, ErrorStop = 20 };

struct LibraryState {
    int attach_count = 0;         // touched only by the loader's start-up and shut-down
    // Set by every open call before it waits for the mutex, read under the
    // mutex by the next measurement poll on whatever thread that runs.
    std::atomic<bool> reinitialised{true};  // the first poll after loading reports 0 too
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

// Exported calls in flight.  The frame enters before it touches the interface
// mutex and leaves after it released it; entering fails once the library is
// being unloaded, and the call then returns as if the mutex stayed busy.
bool enter_call();
void leave_call();

// Library unload: from now on no call enters.  This process's handle to the
// interface mutex is dropped only when no call is in flight; a thread that is
// still inside an export while the process ends keeps everything it uses.
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
