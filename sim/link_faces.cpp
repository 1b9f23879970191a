#include "sim/link_faces.h"

#include <algorithm>

#include "sim/byte_order.h"
#include "sim/controller_face.h"

namespace tola::sim {
namespace {

constexpr std::uint32_t kConfirmation = 0x0A3E5C71;
constexpr std::uint32_t kCommandTail = 4;
constexpr std::uint8_t kEraseCode = 59, kRestartCode = 60, kEnterUpdateCode = 61, kAcceptCode = 62;

constexpr std::array<MemoryLinkFace::Window, 3> kSerialWindows{{
    {0x20000000, 0x2000FFFF, 51, 52},
    {0x08000000, 0x080FFFFF, 53, 54},
    {0x40000000, 0x5003FFFF, 55, 56},
}};
constexpr std::array<MemoryLinkFace::Window, 4> kBluetoothWindows{{
    {0x20000000, 0x2001FFFF, 51, 52},
    {0x40000000, 0xBFFFFFFF, 51, 52},
    {0xE000E010, 0xE000EF03, 51, 52},
    {0x08000000, 0x080FFFFF, 53, 54},
}};

bool is_read_code(bool bluetooth, std::uint8_t code) {
    return code == 51 || code == 53 || (!bluetooth && code == 55);
}
bool is_write_code(bool bluetooth, std::uint8_t code) {
    return code == 52 || code == 54 || (!bluetooth && code == 56);
}

std::uint32_t word(std::span<const std::uint8_t> data, std::size_t index) {
    return load_u32(data.subspan(index * 4, 4), ByteOrder::Little);
}

}  // namespace

std::optional<MemoryLinkFace::Window> MemoryLinkFace::window_for(bool bluetooth, std::uint8_t code,
                                                                 std::uint32_t address, std::uint32_t length) {
    if (length == 0) return std::nullopt;
    const std::span<const Window> windows =
        bluetooth ? std::span<const Window>(kBluetoothWindows) : std::span<const Window>(kSerialWindows);
    for (const auto& w : windows) {
        if (code != w.read_code && code != w.write_code) continue;
        if (address >= w.first && static_cast<std::uint64_t>(address) + length - 1 <= w.last) return w;
    }
    return std::nullopt;
}

CodeAction MemoryLinkFace::on_code(std::uint8_t code, Clock::time_point) {
    core_.journal().record(JournalEntry{EventKind::Request, Flag::None, code, 0, 0, 0, {}});
    if (code == link::kLinkCheck) return CodeAction::answer(identity_);
    if (is_read_code(bluetooth_, code) || code == kEraseCode) {
        pending_write_.reset();
        return CodeAction::receive(8);
    }
    if (is_write_code(bluetooth_, code)) {
        if (pending_write_ && pending_write_->code == code) return CodeAction::receive(pending_write_->length);
        pending_write_.reset();
        return CodeAction::receive(8);
    }
    pending_write_.reset();
    if (code == kRestartCode || code == kEnterUpdateCode || code == kAcceptCode) {
        if (bluetooth_) return CodeAction::receive(8);
        // Serial: the code byte alone.  The acknowledgement leaves before the restart.
        const std::uint8_t command = static_cast<std::uint8_t>(code - kEraseCode + ctl::kEraseSector);
        core_.journal().record(JournalEntry{EventKind::ControllerCommand, Flag::None, command, 0, 0, 0, {}});
        if (!core_.accept_controller_command(command, 0)) return CodeAction::refuse(link::kWrongCommand);
        if (code == kRestartCode) core_.request_restart();
        if (code == kEnterUpdateCode) core_.enter_update_mode();
        if (core_.lose_command_ack(command)) return CodeAction::refuse(link::kWrongCommand);
        return CodeAction::answer(code);
    }
    return CodeAction::refuse(link::kUnknownCommand);
}

BlockAction MemoryLinkFace::on_block(std::uint8_t code, std::vector<std::uint8_t> data, Clock::time_point now) {
    if (code == link::kLinkCheck) return BlockAction::accept();  // a command the instrument does not know: 8 zeros
    if (code == kEraseCode || code == kRestartCode || code == kEnterUpdateCode || code == kAcceptCode)
        return controller_block(code, data);

    if (pending_write_ && pending_write_->code == code) {
        const PendingWrite w = *pending_write_;
        pending_write_.reset();
        // A write carried out whose acknowledgement is lost is refused all the same.
        if (core_.write(w.address, data, now) != WriteStatus::Ok) return BlockAction::refuse(link::kWrongCommand);
        return BlockAction::accept();
    }

    const std::uint32_t address = word(data, 0);
    const std::uint32_t length = word(data, 1);
    const auto window = window_for(bluetooth_, code, address, length);
    const bool read = is_read_code(bluetooth_, code);
    if (!window || length > 0xFFFF || (read ? window->read_code : window->write_code) != code) {
        core_.journal().refused(read ? "read outside the link's windows" : "write outside the link's windows", code,
                                address, length);
        return BlockAction::refuse(link::kWrongCommand);
    }
    if (!read) {
        pending_write_ = PendingWrite{code, address, length};
        return BlockAction::accept();
    }
    auto bytes = core_.read(address, length);
    if (!bytes) return BlockAction::refuse(link::kWrongCommand);
    return BlockAction::answer(OutgoingBlock{code, std::move(*bytes)});
}

BlockAction MemoryLinkFace::controller_block(std::uint8_t code, std::span<const std::uint8_t> data) {
    const std::uint32_t value = word(data, 0);
    const std::uint32_t tail = word(data, 1);
    const std::uint8_t command = static_cast<std::uint8_t>(code - kEraseCode + ctl::kEraseSector);
    core_.journal().record(JournalEntry{EventKind::ControllerCommand, Flag::None, command, 0, 0, value, {}});
    if (tail != kCommandTail || (code != kEraseCode && value != kConfirmation)) {
        core_.journal().refused("controller command without its confirmation", command, 0, value);
        return BlockAction::refuse(link::kWrongCommand);
    }
    if (!core_.accept_controller_command(command, value)) return BlockAction::refuse(link::kWrongCommand);
    bool done = true;
    switch (code) {
        case kEraseCode: done = core_.erase_sector(value); break;
        case kRestartCode: core_.request_restart(); break;
        case kEnterUpdateCode: core_.enter_update_mode(); break;
        default: break;
    }
    if (!done || core_.lose_command_ack(command)) return BlockAction::refuse(link::kWrongCommand);
    return BlockAction::accept();
}

// --- classic instrument ---

std::uint8_t classic_message_for(std::uint8_t download) {
    static constexpr std::array<std::uint8_t, 12> kMessages{152, 151, 153, 154, 155, 157, 158, 159, 160, 156, 161, 162};
    if (download < 30 || download > 41) return 0;
    return kMessages[download - 30u];
}

ClassicLinkFace::ClassicLinkFace(DeviceCore& core)
    : core_(core), seen_measurements_(core.measurements_taken()), seen_presses_(core.trigger_presses()) {
    // Bias 0, then the two rate settings of the instrument's usual sample rate.
    store_u16(std::span(parameters_).subspan(4, 2), 2000, core_.layout().order);
    store_u16(std::span(parameters_).subspan(6, 2), 10, core_.layout().order);
}

std::vector<std::uint8_t> ClassicLinkFace::structure(std::size_t table_word, std::uint32_t offset, std::uint32_t size) {
    const auto p = core_.layout().find(table_word);
    if (!p || offset + size > p->size) return {};
    return core_.read(p->address + offset, size).value_or(std::vector<std::uint8_t>{});
}

std::vector<std::uint8_t> ClassicLinkFace::message_data(std::uint8_t download) {
    const auto& sizes = core_.layout().sizes;
    switch (download) {
        case 30: return structure(tw::kVersion, 0, kVersionBytes);
        case 31: return structure(tw::kSetup, 0, sizes[tw::kSetup]);
        case 32: return {parameters_.begin(), parameters_.end()};
        case 33: return structure(tw::kNorm, 0, sizes[tw::kNorm]);
        case 34: return structure(tw::kMeasureDetails, 0, sizes[tw::kMeasureDetails]);
        case 35:
        case 36:
        case 37:
        case 38: {
            // The four tables lie back to back; each request sends one whole table.
            const std::uint32_t one = sizes[tw::kShadeTables];
            return structure(tw::kShadeTables, (download - 35u) * one, one);
        }
        case 39: return structure(tw::kData, 0, sizes[tw::kData]);
        case 40:
            return core_.read(core_.layout().table_address, kTableBytes).value_or(std::vector<std::uint8_t>{});
        case 41: return newest_results();
        default: return {};
    }
}

// The three newest of the twelve results entries, newest first (.16 to .18
// keep them in entries 0 to 2 already).
std::vector<std::uint8_t> ClassicLinkFace::newest_results() {
    const std::uint32_t entry = core_.layout().results_entry;
    const int n = core_.layout().layout_number;
    if (n >= 16 && n <= 18) return structure(tw::kResults, 0, 3 * entry);
    std::vector<std::uint8_t> out;
    for (std::size_t k = 0; k < 3; ++k) {
        const auto e = static_cast<std::uint32_t>((core_.newest_classic_entry() + k) % 12);
        const auto bytes = structure(tw::kResults, e * entry, entry);
        if (bytes.empty()) return {};
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    return out;
}

bool ClassicLinkFace::news() const {
    return !queued_.empty() || !pending_.empty() || core_.measurements_taken() != seen_measurements_ ||
           core_.trigger_presses() != seen_presses_;
}

// What happened since the last look becomes messages, if their echoes are on.
void ClassicLinkFace::collect_echoes() {
    if (core_.trigger_presses() != seen_presses_) {
        seen_presses_ = core_.trigger_presses();
        if (echo_.switches) pending_.push_back(OutgoingBlock{172, {0x00, 0x01}, false});
    }
    if (core_.measurements_taken() != seen_measurements_) {
        seen_measurements_ = core_.measurements_taken();
        if (echo_.measurement)
            pending_.push_back(OutgoingBlock{155, message_data(34), true});
        if (echo_.results) pending_.push_back(OutgoingBlock{162, newest_results(), true});
    }
}

std::optional<Clock::time_point> ClassicLinkFace::next_unsolicited() const {
    if (news()) return Clock::time_point{};
    return next_live_;
}

void ClassicLinkFace::reset() {
    next_live_.reset();
    queued_.clear();
    pending_.clear();
    seen_measurements_ = core_.measurements_taken();
    seen_presses_ = core_.trigger_presses();
}

CodeAction ClassicLinkFace::on_code(std::uint8_t code, Clock::time_point now) {
    core_.journal().record(JournalEntry{EventKind::Request, Flag::None, code, 0, 0, 0, {}});
    if (const std::uint8_t message = classic_message_for(code)) return CodeAction::send(message, message_data(code));
    if (code == 142) return CodeAction::receive(kParameterBytes);
    if (code >= 128 && code <= 132) return CodeAction::receive(std::nullopt, true);
    if (code == 4) next_live_ = now + kLivePeriod;
    if (code == 6) next_live_.reset();
    switch (code) {
        case 9: echo_.measurement = true; break;
        case 10: echo_.measurement = false; break;
        case 26: echo_.results = true; break;
        case 27: echo_.results = false; break;
        case 11: echo_.switches = true; break;
        case 12: echo_.switches = false; break;
        case 15: echo_.lamp = true; break;
        case 16: echo_.lamp = false; break;
        case 19:
        case 20:
        case 21:
        case 22: {
            const std::uint32_t bit = code <= 20 ? 0x1 : 0x2;
            const bool on = code == 19 || code == 21;
            const std::uint32_t bits = on ? core_.lamp_bits() | bit : core_.lamp_bits() & ~bit;
            core_.set_lamp_bits(bits);
            if (echo_.lamp) pending_.push_back(OutgoingBlock{173, {static_cast<std::uint8_t>(bits)}, false});
            break;
        }
        default: break;
    }
    // The codes from 150 on are the instrument's own messages and refusals.
    if (code >= 150) return CodeAction::refuse(link::kUnknownCommand);
    return CodeAction::answer(code);
}

BlockAction ClassicLinkFace::on_block(std::uint8_t code, std::vector<std::uint8_t> data, Clock::time_point) {
    core_.journal().record(
        JournalEntry{EventKind::Request, Flag::None, code, 0, static_cast<std::uint32_t>(data.size()), 0, {}});
    if (code == 142) std::copy(data.begin(), data.end(), parameters_.begin());
    return BlockAction::accept();
}

std::optional<OutgoingBlock> ClassicLinkFace::unsolicited(Clock::time_point now) {
    if (!queued_.empty()) {
        OutgoingBlock message = std::move(queued_.front());
        queued_.pop_front();
        return message;
    }
    collect_echoes();
    if (!pending_.empty()) {
        OutgoingBlock next = std::move(pending_.front());
        pending_.pop_front();
        return next;
    }
    if (!next_live_ || now < *next_live_) return std::nullopt;
    next_live_ = now + kLivePeriod;
    return OutgoingBlock{176, structure(tw::kData, 0, core_.layout().sizes[tw::kData])};
}

}  // namespace tola::sim
