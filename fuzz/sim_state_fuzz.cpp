// Fuzz target: the permanent state a virtual instrument keeps with --persist
// (BASE.json beside BASE.flash), as a killed or older run may have left it. An
// instrument started over it comes up, or comes up factory-fresh.
#include "fuzz/support/scratch_file.h"
#include "sim/instrument.h"

#include <memory>

namespace {

tola::sim::InstrumentConfig persisted(int kind) {
    tola::sim::InstrumentConfig c;
    c.kind = kind;
    c.cpu = kind == 4 ? 2 : 0;
    if (kind == 1) c.layout_release = "CK0A.00.20.00";
    c.persist = tola::fuzzing::scratch_folder() + "/kind" + std::to_string(kind);
    c.command_delay = std::chrono::milliseconds(0);
    return c;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const int kind = data[0] & 1 ? 4 : 1;
    // A first start leaves a flash file of the right size behind.
    static const bool flash_written = [] {
        for (int k : {1, 4}) tola::sim::Instrument first(persisted(k));
        return true;
    }();
    (void)flash_written;
    tola::fuzzing::write_scratch("kind" + std::to_string(kind) + ".json", data + 1, size - 1);
    tola::sim::Instrument instrument(persisted(kind));
    (void)instrument.journal();
    return 0;
}
