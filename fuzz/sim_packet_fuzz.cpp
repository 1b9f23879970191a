// Fuzz target: arbitrary bytes on a serial or Bluetooth line, fed in pieces to
// the packet receiver of an instrument of each link kind, with the clock moved
// between pieces so time-outs fire too.  Nothing may crash, hang or grow without
// bound: every exchange ends in an acknowledgement, a refusal or silence.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "sim/instrument.h"

namespace {

tola::sim::Instrument& instrument(std::uint8_t selector) {
    using tola::sim::Instrument;
    using tola::sim::InstrumentConfig;
    static const std::array<std::unique_ptr<Instrument>, 3> all = [] {
        auto make = [](int kind, const char* release) {
            InstrumentConfig c;
            c.kind = kind;
            c.layout_release = release;
            c.command_delay = std::chrono::milliseconds(0);
            c.restart_silence = std::chrono::milliseconds(0);
            return std::make_unique<Instrument>(c);
        };
        return std::array<std::unique_ptr<Instrument>, 3>{make(9, "CK0A.00.31.00"), make(10, "CK0A.00.32.00"),
                                                          make(2, "CK0A.00.20.00")};
    }();
    return *all[selector % all.size()];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    auto& inst = instrument(data[0]);
    // The instruments live for the whole run: their journals would grow with every input.
    inst.journal().clear();
    inst.link_opened();
    auto now = tola::sim::Clock::now();
    std::span<const std::uint8_t> rest(data + 1, size - 1);
    // Each piece: a length byte (its top bits also advance the clock), then the bytes.
    while (!rest.empty()) {
        const std::uint8_t control = rest[0];
        rest = rest.subspan(1);
        const std::size_t n = std::min<std::size_t>(control & 0x3F, rest.size());
        inst.link_receive(rest.first(n), now);
        rest = rest.subspan(n);
        now += std::chrono::milliseconds((control >> 6) * 700);
        inst.tick(now);
        inst.link_tick(now);
    }
    return 0;
}
