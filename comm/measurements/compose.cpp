#include "comm/measurements/compose.h"

#include "comm/measurements/interpretation.h"
#include "comm/measurements/record_fields.h"
#include "comm/structures/host_copies.h"

#include <cstring>

namespace tola::measurements {
namespace {

constexpr std::int32_t kToothAverage = 6, kWhitenessOnly = 12;
constexpr std::size_t kQueueWord = 12;

}  // namespace

void compose_measurement(COMM_MEASUREMENT& m, ComposeLink link) {
    const structures::HostCopies& h = structures::host_copies();
    const TOLA_SHADE_MATCH_DETAILS& d = h.details;
    if (d.iMode == kWhitenessOnly && link == ComposeLink::Bluetooth) {
        m.tStatus = kind_status::kToothWhiteness;
        set_name(m.snMaterial, "Tooth");
        fill_area_from_details(m.Single, d);
        m.iAverageCount = static_cast<std::uint32_t>(h.results.iAverageCount);
        m.iWIO2BGU = static_cast<std::uint32_t>(h.results.iWhiteness);
        // The first four further values of the results.
        std::memcpy(m.qdAux, h.results.qdFurther, sizeof m.qdAux);
    } else {
        interpret_details(m, d, h.results, tooth_area_accumulator());
        if (d.iMode == kToothAverage && link == ComposeLink::Usb) m.iAverageCount = static_cast<std::uint32_t>(d.iAverageCount);
    }
    const std::uint32_t queue = h.host_block.qdWord[kQueueWord];
    m.iQueue = queue & 0xFFFF;
    m.dQueue = queue >> 16;
}

}  // namespace tola::measurements
