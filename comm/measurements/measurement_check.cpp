#include "comm/measurements/measurement_check.h"

#include "comm/api/library_state.h"
#include "comm/commands/host_exchange.h"
#include "comm/measurements/short_record.h"
#include "comm/structures/host_copies.h"
#include "comm/structures/layout_state.h"
#include "comm/structures/stream_structures.h"
#include "comm/structures/structure_transfer.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace tola::measurements {
namespace {

using structures::Copy;

constexpr std::uint32_t kWriteBackWaitMs = 100;
constexpr std::size_t kStateWord = 8, kEventWord = 15, kCommandWord = 0;

constexpr std::array<std::uint32_t, 2> kFirstGenStates{21, 28};
constexpr std::array<std::uint32_t, 6> kLaterStates{20, 24, 40, 42, 44, 65};
constexpr std::array<std::uint32_t, 10> kBluetoothOnlyStates{91, 92, 95, 96, 97, 109, 111, 112, 117, 118};

template <std::size_t N>
bool contains(const std::array<std::uint32_t, N>& list, std::uint32_t v) {
    return std::find(list.begin(), list.end(), v) != list.end();
}

COMM_USB_HOST& host_block() { return structures::host_copies().host_block; }

bool fetch(LinkFamily family, Copy copy) {
    return family == LinkFamily::Usb || family == LinkFamily::FirstGenUsb ? structures::upload(copy)
                                                                          : structures::stream_upload(copy);
}

bool short_record_layout() {
    const std::string_view release = structures::current_release();
    return release == "CK0A.00.31.00" || release == "CK0A.00.32.00";
}

// The short record replaces both result structures.
bool fetch_short_record() {
    structures::HostCopies& h = structures::host_copies();
    const bool fetched = structures::stream_upload(Copy::ShortResult);
    std::memset(&h.results, 0, sizeof h.results);
    std::memset(&h.details, 0, sizeof h.details);
    if (!fetched) return false;  // nothing to decode: both stay cleared
    decode_short_record(h.results, h.details, std::span<const std::uint8_t, kShortRecordSize>(h.short_result));
    return true;
}

bool completes_tooth_area() {
    const TOLA_SHADE_MATCH_DETAILS& d = structures::host_copies().details;
    return d.iMode == 2 && d.qiStatus[0] != 2 && d.qiStatus[1] != 2 && d.qiStatus[2] == 4;
}

// Fetches every structure the poll interprets; false when one of them could
// not be read (its copy is then cleared).
bool fetch_structures(LinkFamily family) {
    const std::int32_t flags = library_state().poll_details;
    switch (family) {
        case LinkFamily::FirstGenUsb: {
            const bool fetched = fetch(family, Copy::FirstGenResults) && fetch(family, Copy::Details);
            if (fetched) host_block().qdWord[kCommandWord] = 0;
            return fetched;
        }
        case LinkFamily::Serial:
            return fetch(family, Copy::Results) && fetch(family, Copy::Details);
        case LinkFamily::Bluetooth:
            if (flags & details_flag::kShortRecord) {
                if (short_record_layout()) return fetch_short_record();
                return fetch(family, Copy::Results) && fetch(family, Copy::Details);
            }
            [[fallthrough]];
        case LinkFamily::Usb: {
            const bool results = (flags & details_flag::kInterpretResults) != 0;
            if (results && !fetch(family, Copy::Results)) return false;
            if (flags & details_flag::kFetchDetails) {
                if (!fetch(family, Copy::Details)) return false;
                // The last area of a tooth area takes the three areas' names
                // from the results: they must be this measurement's.
                if (!results && completes_tooth_area()) return fetch(family, Copy::Results);
            }
            return true;
        }
    }
    return false;
}

// Writes the library's host block back so the instrument sees the cleared flags.
void write_back() {
    COMM_USB_HOST block = host_block();
    commands::host_exchange(&block, kWriteBackWaitMs);
}

}  // namespace

std::optional<LinkFamily> link_family(const PXM_COMM& c) {
    if (c.hUSB != -1) {
        if (c.iDevice == TOLA_DEVICE_USB_CHROMATIK) return LinkFamily::FirstGenUsb;
        if (c.iDevice == TOLA_DEVICE_USB_PORTIVO) return LinkFamily::Usb;
        return std::nullopt;
    }
    if (c.hRS232 == -1) return std::nullopt;
    if (c.iDevice == TOLA_DEVICE_SERIAL_MAPPED_A || c.iDevice == TOLA_DEVICE_SERIAL_MAPPED_B) return LinkFamily::Serial;
    if (c.iDevice == TOLA_DEVICE_BT_MAPPED_A || c.iDevice == TOLA_DEVICE_BT_MAPPED_B) return LinkFamily::Bluetooth;
    return std::nullopt;
}

bool state_accepted(LinkFamily family, std::uint32_t state) {
    switch (family) {
        case LinkFamily::FirstGenUsb: return contains(kFirstGenStates, state);
        case LinkFamily::Usb:
        case LinkFamily::Serial: return contains(kLaterStates, state);
        case LinkFamily::Bluetooth: return contains(kLaterStates, state) || contains(kBluetoothOnlyStates, state);
    }
    return false;
}

CheckResult measurement_check(LinkFamily family, bool only_if_signalled, bool refresh) {
    CheckResult result;
    COMM_USB_HOST& block = host_block();
    if (only_if_signalled) {
        if (refresh) {
            std::memset(&block, 0, sizeof block);
            if (!commands::host_exchange(nullptr, 0)) return result;
        }
        if ((block.qdWord[kEventWord] & (event_flag::kMeasurement | event_flag::kEcho)) == 0) return result;
        if (!state_accepted(family, block.qdWord[kStateWord])) {
            if (family != LinkFamily::FirstGenUsb) {
                block.qdWord[kEventWord] &= ~event_flag::kEcho;
                write_back();
            }
            return result;
        }
    }
    // A measurement that could not be read is not acknowledged: its flags stay
    // set, so the next poll fetches it again instead of losing it behind an
    // empty record.
    if (!fetch_structures(family)) return result;
    result.echo_pending = (block.qdWord[kEventWord] & event_flag::kEcho) != 0;
    block.qdWord[kEventWord] &= ~(event_flag::kMeasurement | event_flag::kEcho);
    write_back();
    result.ok = true;
    return result;
}

bool fetch_results(LinkFamily family) {
    return fetch(family, family == LinkFamily::FirstGenUsb ? Copy::FirstGenResults : Copy::Results);
}

}  // namespace tola::measurements
