// Load and unload of the shared library.  Loading opens no link and binds no
// Bluetooth client; unloading closes no link (callers close first).
#include "comm/api/library_state.h"

namespace {

__attribute__((constructor)) void on_library_load() {
    tola::LibraryState& state = tola::library_state();
    if (state.attach_count++ == 0) {
        tola::interface_mutex();
        state.poll_details = 1;
    }
}

__attribute__((destructor)) void on_library_unload() {
    tola::LibraryState& state = tola::library_state();
    if (state.attach_count == 1) {
        tola::release_interface_mutex();
        state.attach_count = 0;
    }
}

}  // namespace
