#include "sim/descriptor.h"

namespace tola::sim {

std::array<std::uint8_t, 18> device_descriptor(const InstrumentConfig& c) {
    std::uint16_t vendor = kTolaVendor, product = kMappedProduct;
    if (c.kind == 1) product = kClassicProduct;
    if (c.kind == 3) vendor = kRenesasVendor, product = kRenesasBootProduct;
    const std::uint16_t release = c.release_number();
    auto lo = [](std::uint16_t v) { return static_cast<std::uint8_t>(v); };
    auto hi = [](std::uint16_t v) { return static_cast<std::uint8_t>(v >> 8); };
    // Length, type, USB 2.0, vendor class, packet size 64, ids, strings 1-3, one configuration.
    return {18, 1, 0x00, 0x02, 0xFF, 0x00, 0x00, 64, lo(vendor), hi(vendor), lo(product), hi(product),
            lo(release), hi(release), 1, 2, 3, 1};
}

}  // namespace tola::sim
