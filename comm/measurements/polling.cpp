// Measurement polls, queue access, the event poll and clearing the queue.
#include "comm/measurements/polling.h"

#include "comm/api/library_state.h"
#include "comm/commands/classic_exchange.h"
#include "comm/commands/command_timing.h"
#include "comm/commands/device_commands.h"
#include "comm/commands/host_exchange.h"
#include "comm/measurements/interpretation.h"
#include "comm/measurements/measurement_check.h"
#include "comm/measurements/poll_state.h"
#include "comm/platform/clock.h"
#include "comm/structures/classic_messages.h"
#include "comm/structures/host_copies.h"
#include "comm/structures/layout_state.h"
#include "comm/structures/stream_structures.h"
#include "comm/structures/structure_transfer.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace tola::measurements {
namespace {

using structures::Copy;

constexpr std::uint32_t kStatusWrongSize = 0x10000;
// Record status of a measurement that the instrument reported with its echo flag.
constexpr std::uint32_t kEchoStatus = 0x40000;
constexpr std::size_t kQueueWord = 12, kCommandTimeWord = 14, kEventWord = 15;
constexpr std::uint32_t kQueueSelectCommand = 0x8;
constexpr std::size_t kQueueIndexWord = 5;
constexpr std::uint32_t kQueueSelectWaitMs = 500;

// Classic (first-generation) serial codes.
constexpr std::uint8_t kDownloadResults = 41;
constexpr std::uint32_t kMeasurementData = 155, kResultsData = 162, kSwitches = 172, kLampShutter = 173,
                        kLiveData = 176;

// The command sequence that clears the instrument's queue.
constexpr std::int32_t kClearQueueState = 51, kIdleState = 20;
constexpr std::uint32_t kServiceCommand = 0x10000, kClearQueueService = 22;
constexpr std::size_t kServiceWord = 11;
constexpr std::uint32_t kBeforeServiceMs = 1000, kAfterClearMs = 3000;
// Releases that sort up to this text need the service command too.
constexpr const char* kLastReleaseWithService = "2K1";

// Data-block change words: later generations at 132, the first generation at 204.
constexpr std::size_t kChangeWordOffset = 132, kFirstGenChangeWordOffset = 204;
constexpr std::uint32_t kSampleIntervalCommandTime = 4000, kSampleIntervalDivisor = 40;

COMM_USB_HOST& host_block() { return structures::host_copies().host_block; }
std::uint32_t queue_position(std::uint32_t word) { return word & 0xFFFF; }
std::uint32_t queue_count(std::uint32_t word) { return word >> 16; }

bool first_generation(std::uint32_t device) {
    return device == TOLA_DEVICE_USB_CHROMATIK || device == TOLA_DEVICE_SERIAL_CLASSIC;
}

bool later_generation(std::uint32_t device) {
    return device == TOLA_DEVICE_USB_PORTIVO || (device >= TOLA_DEVICE_SERIAL_MAPPED_A && device <= TOLA_DEVICE_BT_MAPPED_B);
}

bool later_layout_served() { return structures::release_or_later("CK0A.00.24.00"); }

bool first_layout_unserved(std::string_view layout) {
    return layout == "CK0A.00.11.00" || layout == "CK0A.00.14.00" || layout == "CK0A.00.15.00";
}

void start_record(COMM_MEASUREMENT& m) {
    std::memset(&m, 0, sizeof m);
    m.dSize = sizeof(COMM_MEASUREMENT);
    m.dTime = platform::tick_ms();
}

std::span<const std::uint8_t> first_gen_table() { return structures::host_copies().first_gen_results; }

void interpret_first_gen_entry(COMM_MEASUREMENT& m, std::size_t index) {
    interpret_first_generation(m, first_gen_table(), index, structures::current_release());
}

void interpret_later(COMM_MEASUREMENT& m) {
    const structures::HostCopies& h = structures::host_copies();
    if (library_state().poll_details & details_flag::kInterpretResults)
        interpret_results(m, h.results);
    else
        interpret_details(m, h.details, h.results, tooth_area_accumulator());
}

// The classic instrument on a serial port: the results arrive as a message.
bool ask_classic(bool only_new) {
    if (only_new) return structures::classic_receive() == kResultsData;
    return commands::classic_command(kDownloadResults);
}

// Fetches the results table of a first-generation instrument (entries 0 to 2
// only on a serial port).
bool fetch_first_gen_table(std::uint32_t device) {
    if (device == TOLA_DEVICE_SERIAL_CLASSIC) return commands::classic_command(kDownloadResults);
    return structures::upload(Copy::FirstGenResults);
}

// The link family of a later-generation instrument for structure fetches,
// whatever handle is open.
std::optional<LinkFamily> later_family(const PXM_COMM& c) {
    const auto family = link_family(c);
    if (!family || *family == LinkFamily::FirstGenUsb) return std::nullopt;
    return family;
}

bool read_host_block() { return commands::host_exchange(nullptr, 0); }

}  // namespace

std::int32_t poll_measurements(COMM_MEASUREMENT* m, std::int32_t only_new) {
    PollState& s = poll_state();
    if (only_new != 0 && platform::ms_since(s.last_measurement_poll) < kOnlyNewIntervalMs) return 0;
    s.last_measurement_poll = platform::tick_ms();

    PXM_COMM* c = library_state().record;
    if (c == nullptr) return 0;
    if (c->dSize != sizeof(PXM_COMM)) {
        c->tStatus = kStatusWrongSize;
        return 0;
    }
    bool echo_pending = false;
    if (c->hUSB != -1 || c->iDevice != TOLA_DEVICE_SERIAL_CLASSIC) {
        const auto family = link_family(*c);
        if (!family) return 0;
        const CheckResult check = measurement_check(*family, only_new != 0, true);
        if (!check.ok) return 0;
        echo_pending = check.echo_pending;
    } else {
        if (c->hRS232 == -1 || !ask_classic(only_new != 0)) return 0;
    }
    if (m == nullptr) return 0;

    start_record(*m);
    // The classic instrument on a serial port keeps no host block: its results
    // arrive as table entries 0 to 2, the newest first.
    const std::uint32_t queue = c->iDevice == TOLA_DEVICE_SERIAL_CLASSIC ? 0 : host_block().qdWord[kQueueWord];
    if (first_generation(c->iDevice)) {
        if (queue >= kFirstGenEntries) return 0;
        const std::string_view layout = structures::current_release();
        if (first_layout_unserved(layout)) {
            m->tStatus = TOLA_STATUS_WRONG_DEVICE;  // the layout is not served
            return 0;
        }
        if (layout == "CK0A.00.16.00" || layout == "CK0A.00.17.00" || layout == "CK0A.00.18.00")
            interpret_first_gen_entry(*m, 1);
        else
            interpret_first_gen_entry(*m, queue);
        m->iQueue = queue_position(queue);
        m->dQueue = kFirstGenEntries;
    } else if (later_generation(c->iDevice)) {
        if (!later_layout_served()) {
            m->tStatus = TOLA_STATUS_WRONG_DEVICE;
            return 0;
        }
        interpret_later(*m);
        m->iQueue = queue_position(queue);
        m->dQueue = queue_count(queue);
    } else {
        return 0;
    }
    if (echo_pending) m->tStatus = kEchoStatus;  // replaces every bit the interpretation set
    return 1;
}

std::int32_t get_queue_measurement(COMM_MEASUREMENT* m, std::int32_t mode) {
    PollState& s = poll_state();
    PXM_COMM* c = library_state().record;
    if (c == nullptr) return 0;
    // The failure bits describe the last queue call only; the port field stays.
    c->tStatus &= ~TOLA_STATUS_HARD_FAILURES;
    if (c->dSize != sizeof(PXM_COMM)) {
        c->tStatus = kStatusWrongSize;
        return 0;
    }
    if (m == nullptr) return 0;
    const std::uint32_t wanted = m->iQueue;
    start_record(*m);
    if (c->hUSB == -1 && c->hRS232 == -1) {
        c->tStatus |= TOLA_STATUS_UNKNOWN_PORT;
        return 0;
    }
    auto fetch_failed = [c] {
        c->tStatus |= TOLA_STATUS_QUEUE_READ_FAILED;
        return 0;
    };
    const std::uint32_t device = c->iDevice;

    if (mode == queue_mode::kNewest) {
        if (first_generation(device)) {
            m->iQueue = 0;
            m->dQueue = kFirstGenEntries;
            if (!fetch_first_gen_table(device)) return fetch_failed();
            interpret_first_gen_entry(*m, 0);
            return 1;
        }
        const auto family = later_family(*c);
        if (!family) return fetch_failed();
        if (read_host_block()) m->iQueue = queue_position(host_block().qdWord[kQueueWord]);
        m->dQueue = queue_count(host_block().qdWord[kQueueWord]);
        if (!fetch_results(*family)) return fetch_failed();
        interpret_results(*m, structures::host_copies().results);
        return 1;
    }

    std::uint32_t count = 0;
    std::uint32_t current = s.queue_index;
    if (first_generation(device)) {
        count = kFirstGenEntries;
    } else if (later_generation(device)) {
        if (!read_host_block()) return fetch_failed();
        count = queue_count(host_block().qdWord[kQueueWord]);
        current = queue_position(host_block().qdWord[kQueueWord]);
        s.queue_index = current;
    }
    m->dQueue = count;

    std::uint32_t index = 0;
    switch (mode) {
        case queue_mode::kPrevious:
            if (current == 0) {
                c->tStatus |= TOLA_STATUS_QUEUE_RANGE;
                return 0;
            }
            index = current - 1;
            break;
        case queue_mode::kNext: index = current + 1; break;
        case queue_mode::kIndex: index = wanted; break;
        default: index = 0; break;
    }
    if (index >= count) {
        c->tStatus |= TOLA_STATUS_QUEUE_RANGE;
        return 0;
    }
    m->iQueue = index;
    s.queue_index = index;

    if (first_generation(device)) {
        if (!fetch_first_gen_table(device)) return fetch_failed();
        interpret_first_gen_entry(*m, index);
        return 1;
    }
    const auto family = later_family(*c);
    if (!family) return fetch_failed();
    if (!commands::host_command(kQueueSelectCommand, kQueueSelectWaitMs, {{kQueueIndexWord, index}}))
        return fetch_failed();
    if (!fetch_results(*family)) return fetch_failed();
    interpret_results(*m, structures::host_copies().results);
    return 1;
}

namespace {

// The classic instrument echoes what the mask asks for: measurement and
// results (4), live data (2), lamp, shutter and switches (16).
std::uint32_t classic_event_poll(std::int32_t mask) {
    PollState& s = poll_state();
    if (mask == s.previous_event_mask) {
        std::uint8_t payload[4] = {};
        switch (structures::classic_receive(payload, sizeof payload)) {
            case kMeasurementData: return event::kMeasurementPending;
            case kResultsData: return event::kMeasurementFetched;
            case kLiveData: return event::kDataChanged;
            case kLampShutter: host_block().qdWord[9] = payload[0]; return event::kHostBlockChanged;
            case kSwitches:
                // The switch bits: the first two payload bytes, high byte first.
                host_block().qdWord[10] = static_cast<std::uint32_t>(payload[0] << 8 | payload[1]);
                return event::kHostBlockChanged;
            default: return 0;
        }
    }
    struct Echo {
        std::int32_t bit;
        std::initializer_list<std::uint8_t> on, off;
    };
    static const Echo kEchoes[] = {
        {0x4, {9, 26}, {10, 27}},  // "Echo Measurement", "Echo Results"
        {0x2, {4}, {6}},           // "Echo 'Live' data", "Echo Data OFF"
        {0x10, {15, 11}, {16, 12}},  // "Echo Lamp Shutter", "Echo Switches"
    };
    for (const Echo& e : kEchoes) {
        const bool now_set = (mask & e.bit) != 0;
        const bool was_set = (s.previous_event_mask & e.bit) != 0;
        if (!now_set && !was_set) continue;
        for (std::uint8_t code : now_set ? e.on : e.off) commands::classic_command(code);
    }
    s.previous_event_mask = mask;
    return 0;
}

// A later-generation instrument polls no faster than its sample interval asks,
// but no slower than the host exchange waits: the interval is also the command
// wait (and the H8SX write step), and a settings record with an absurd sample
// count must not hold the interface mutex for minutes.
std::uint32_t event_interval() {
    const COMM_USB_HOST& b = host_block();
    if (b.qdWord[kCommandTimeWord] >= kSampleIntervalCommandTime && (b.qdWord[kEventWord] & event_flag::kSampleInterval))
        return std::min(structures::host_copies().settings.dSamples / kSampleIntervalDivisor, commands::kMaxHostWaitMs);
    return kDefaultEventIntervalMs;
}

ChangeSlot change_slot(LinkFamily family) {
    switch (family) {
        case LinkFamily::FirstGenUsb: return ChangeSlot::FirstGenUsb;
        case LinkFamily::Usb: return ChangeSlot::Usb;
        case LinkFamily::Serial: return ChangeSlot::Serial;
        case LinkFamily::Bluetooth: return ChangeSlot::Bluetooth;
    }
    return ChangeSlot::Usb;
}

// Reads the data block and tells whether its change word moved.
bool data_changed(LinkFamily family) {
    structures::HostCopies& h = structures::host_copies();
    std::uint32_t word = 0;
    if (family == LinkFamily::FirstGenUsb) {
        structures::upload(Copy::FirstGenData);
        std::memcpy(&word, h.first_gen_data.data() + kFirstGenChangeWordOffset, sizeof word);
    } else {
        if (family == LinkFamily::Usb)
            structures::upload(Copy::Data);
        else
            structures::stream_upload(Copy::Data);
        std::memcpy(&word, h.data.data() + kChangeWordOffset, sizeof word);
    }
    std::uint32_t& last = poll_state().change_words[static_cast<std::size_t>(change_slot(family))];
    if (word == last) return false;
    last = word;
    return true;
}

std::uint32_t later_event_poll(LinkFamily family, std::int32_t mask) {
    PollState& s = poll_state();
    if (family != LinkFamily::FirstGenUsb) {
        std::uint32_t& interval = commands::command_wait_ms();
        interval = event_interval();
        if (platform::ms_since(s.last_event_poll) < interval) return 0;
        s.last_event_poll = platform::tick_ms();
    }
    if (!read_host_block()) return 0;
    const auto k = static_cast<std::uint32_t>(mask);
    std::uint32_t e = 0;
    if (k & 0x8C) {
        if (host_block().qdWord[kEventWord] & event_flag::kEcho) e = event::kEchoPending;
        if ((k & 0x88) && measurement_check(family, true, false).ok) e += event::kMeasurementFetched;
        if ((k & 0x4) && (host_block().qdWord[kEventWord] & (event_flag::kMeasurement | event_flag::kEcho)))
            e += event::kMeasurementPending;
    }
    if ((k & 0x2) && data_changed(family)) e += event::kDataChanged;
    if (k & 0x10) {
        if (std::memcmp(&host_block(), &s.host_snapshot, sizeof s.host_snapshot) != 0) {
            s.host_snapshot = host_block();
            e += event::kHostBlockChanged;
        }
    }
    return e;
}

}  // namespace

std::uint32_t poll(std::int32_t mask) {
    const PXM_COMM* c = valid_record();
    if (c == nullptr || (c->tStatus & TOLA_STATUS_INTERFACED) == 0) return 0;
    if (c->iDevice == TOLA_DEVICE_SERIAL_CLASSIC) return c->hRS232 != -1 ? classic_event_poll(mask) : 0;
    if (c->iDevice != TOLA_DEVICE_USB_CHROMATIK && !later_generation(c->iDevice)) return 0;
    const auto family = link_family(*c);
    if (!family) return 0;
    return later_event_poll(*family, mask);
}

std::int32_t clear_queue() {
    const std::int32_t cleared = commands::set_state(kClearQueueState);
    if (cleared != 1) return cleared;
    const char* release = library_state().remembered_version;
    if (::strncmp(release, kLastReleaseWithService, sizeof(TNAME)) <= 0) {
        platform::sleep_ms(kBeforeServiceMs);
        COMM_USB_HOST service{};
        service.qdWord[0] = kServiceCommand;
        service.qdWord[kServiceWord] = kClearQueueService;
        commands::send_command(service);
    }
    platform::sleep_ms(kAfterClearMs);
    return commands::set_state(kIdleState);
}

}  // namespace tola::measurements
