// Fuzz target: arbitrary bytes on a channel connection, cut into requests and
// served by one instrument of each kind.  Nothing may crash or hang; a malformed
// stream only ends the connection.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "sim/instrument.h"
#include "sim/request_reader.h"

namespace {

tola::sim::Instrument& instrument(std::uint8_t selector) {
    using tola::sim::Instrument;
    using tola::sim::InstrumentConfig;
    static const std::array<std::unique_ptr<Instrument>, 4> all = [] {
        auto make = [](int kind, int cpu, const char* release) {
            InstrumentConfig c;
            c.kind = kind;
            c.cpu = cpu;
            c.layout_release = release;
            c.command_delay = std::chrono::milliseconds(0);
            return std::make_unique<Instrument>(c);
        };
        return std::array<std::unique_ptr<Instrument>, 4>{make(4, 2, "CK0A.00.32.00"), make(4, 1, "CK0A.00.28.00"),
                                                          make(1, 0, "CK0A.00.20.00"), make(3, 0, "CK0A.00.31.00")};
    }();
    return *all[selector % all.size()];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    tola::sim::Instrument& inst = instrument(data[0]);
    inst.connection_opened();
    tola::sim::RequestReader reader;
    // Feed in uneven pieces so that reassembly is exercised too.
    std::size_t pos = 1;
    std::size_t step = 1;
    while (pos < size) {
        const std::size_t n = std::min(step, size - pos);
        reader.append(std::span(data + pos, n));
        pos += n;
        step = step * 3 % 97 + 1;
        tola::usbchannel::Request request;
        while (reader.next(request) == tola::sim::RequestReader::Status::Ready)
            (void)inst.handle(request, tola::sim::Clock::now());
    }
    inst.journal().clear();  // keep memory flat across runs
    return 0;
}
