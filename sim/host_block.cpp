#include "sim/host_block.h"

namespace tola::sim {
namespace {

struct Words {
    std::span<std::uint32_t> w;
    std::uint32_t get(std::size_t i) const { return i < w.size() ? w[i] : 0; }
    void set(std::size_t i, std::uint32_t v) {
        if (i < w.size()) w[i] = v;
    }
};

}  // namespace

HostCommandEffect execute_host_command(std::span<std::uint32_t> words, std::uint32_t device_type) {
    Words b{words};
    HostCommandEffect effect;
    const std::uint32_t cmd = b.get(0);

    if (cmd == host::kQuery) {
        b.set(3, b.get(1) == host::kQueryDeviceType ? device_type : 0);
    } else if (cmd == host::kHostMode) {
        b.set(8, b.get(1));
        effect.host_mode = true;
    } else if (cmd & ~host::kKnownFlags) {
        effect.unknown = true;
    } else {
        if (cmd & host::kLamp) b.set(9, b.get(2));
        if (cmd & host::kSetState) {
            b.set(8, b.get(1));
            effect.clear_queue = b.get(1) == host::kStateClearQueue;
            effect.store = b.get(1) == host::kStateStore;
        }
        if (cmd & host::kBias) b.set(13, (b.get(13) & 0xFFFF0000u) | (b.get(6) & 0xFFFFu));
        if (cmd & host::kSampleRate) {
            // An index the instrument does not know leaves the rate as it was.
            const std::uint32_t index = b.get(7);
            if (index < kSampleRates.size()) b.set(14, kSampleRates[index]);
        }
        if (cmd & host::kService) {
            effect.restore_defaults = b.get(11) == host::kServiceRestoreDefaults;
            effect.clear_queue = effect.clear_queue || b.get(11) == host::kServiceClearQueue;
        }
        if (cmd & host::kReadQueue) effect.read_queue = true;
        effect.measure = (cmd & host::kMeasure) || ((cmd & host::kStart) && b.get(3) == host::kStartMeasure);
        effect.calibrate = (cmd & host::kCalibrate) || ((cmd & host::kStart) && b.get(3) == host::kStartCalibrate);
    }
    b.set(0, 0);
    return effect;
}

}  // namespace tola::sim
