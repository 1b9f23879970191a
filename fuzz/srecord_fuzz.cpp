// Fuzz target: S-record texts.  With no device open every write fails, so the
// parser's own handling of malformed records, counts and addresses is what runs.
#include "comm/api/library_state.h"
#include "comm/links/usb/first_generation.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static PXM_COMM comm = [] {
        PXM_COMM c;
        std::memset(&c, 0, sizeof c);
        c.dSize = sizeof c;
        c.hUSB = -1;
        c.hRS232 = -1;
        return c;
    }();
    tola::library_state().record = &comm;
    tola::library_state().stop_state = tola::StopState::Running;
    tola::usb::first_generation::download_srecords(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
