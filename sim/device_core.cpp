#include "sim/device_core.h"

#include <utility>

#include <algorithm>

#include "sim/byte_order.h"
#include "sim/content_blocks.h"
#include "sim/firmware_header.h"

namespace tola::sim {
namespace {

std::vector<std::uint8_t> program_bytes(std::uint32_t size, std::uint32_t seed) {
    std::vector<std::uint8_t> out(size);
    for (std::uint32_t i = 0; i < size; ++i) out[i] = static_cast<std::uint8_t>((i * 31 + seed) % 0xFB);
    return out;
}

bool overlaps(std::uint32_t a, std::uint32_t alen, std::uint32_t b, std::uint32_t blen) {
    return static_cast<std::uint64_t>(a) < static_cast<std::uint64_t>(b) + blen &&
           static_cast<std::uint64_t>(b) < static_cast<std::uint64_t>(a) + alen;
}

// Host-word roles that report the firmware's status.
constexpr std::array<std::size_t, 6> kStatusRoles{hw::kState, hw::kLamp,         hw::kQueue,
                                                  hw::kBias,  hw::kCommandTime, hw::kEvents};

// The state in which the first generation offers a finished measurement.
constexpr std::uint32_t kClassicResultsState = 21;
constexpr std::size_t kClassicResultEntries = 12;
// The state after a calibration: no measurement to read.
constexpr std::uint32_t kCalibratedState = 30;
// Command times from which the firmware asks the host to poll by its sample interval.
constexpr std::uint32_t kSampleIntervalCommandTime = 4000;

// What the later generation's state code says after a measurement of each kind.
std::uint32_t state_after(int mode) {
    switch (mode) {
        case kind::kTooth: return 40;
        case kind::kToothArea: return 42;
        case kind::kVerify: return 44;
        case kind::kTab:
        case kind::kTab2:
        case kind::kCeramic: return 24;
        case kind::kToothAverage: return 65;
        case kind::kWhiteness: return 91;
        default: return kCalibratedState;
    }
}

char hex_digit(unsigned v) { return "0123456789ABCDEF"[v & 0xF]; }
std::string hex(std::uint32_t v) {
    std::string s = "0x";
    for (int i = 7; i >= 0; --i) s += hex_digit(v >> (4 * i));
    return s;
}

}  // namespace

DeviceCore::DeviceCore(InstrumentConfig config, Journal& journal)
    : config_(std::move(config)), journal_(journal), firmware_(config_.firmware),
      firmware_date_(config_.firmware_date) {
    build_memory_map();
    layout_ = plan_structures(config_);
    host_layout_ = host_layout(layout_.layout_number);
    load_factory_flash();
    if (table_address_for(config_)) load_structures(false);
    // What the factory set up counts as stored.
    capture_permanent();
    if (config_.trigger_every.count() > 0) next_trigger_ = Clock::now() + config_.trigger_every;
}

void DeviceCore::build_memory_map() {
    if (config_.kind == 1) {
        memory_.add_ram("loader area", 0x00800000, 0x2000);
        memory_.add_ram("RAM", 0x80800000, 0x10000);
        memory_.add_flash(classic_internal_flash());
        memory_.add_flash(classic_external_flash());
    } else if (config_.kind == 4 && config_.cpu == 2) {
        // 128 KiB of SRAM; the host's address check only lets it reach the first 64 KiB.
        memory_.add_ram("RAM", 0x20000000, 0x20000);
        memory_.add_peripheral("peripherals", 0x40000000, 0x10040000);
        memory_.add_peripheral("system control", 0xE000E000, 0x1000);
        memory_.add_flash(stm32f2_flash());
    } else if (config_.kind == 4) {
        memory_.add_ram("RAM", 0x00FF2000, 0xA000);
        memory_.add_ram("external area", 0x00200000, 0x40000);
        memory_.add_flash(h8sx_flash());
    }
}

void DeviceCore::load_factory_flash() {
    if (config_.kind == 1) {
        memory_.load(0x0, program_bytes(0x8000, 1));
    } else if (config_.kind == 4 && config_.cpu == 2) {
        memory_.load(0x08000000, program_bytes(kApplicationOffset, 7));
        memory_.load(0x08000000 + kApplicationOffset, make_firmware_header(firmware_, firmware_date_));
        const std::uint32_t app = kApplicationOffset + kHeaderBlockSize;
        memory_.load(0x08000000 + app, program_bytes(0x20000 - app, 11));
    } else if (config_.kind == 4) {
        memory_.load(0x0, program_bytes(0x20000, 3));
    }
}

std::optional<Placement> DeviceCore::ram_placement(std::size_t table_word) const {
    auto p = layout_.find(table_word);
    if (!p || memory_.kind_at(p->address, p->size) == RegionKind::Flash) return std::nullopt;
    return p;
}

void DeviceCore::load_structures(bool keep_flash) {
    // Whatever sits in flash survives a restart.
    std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> keep;
    for (const auto& p : layout_.placements) {
        const bool in_flash = memory_.kind_at(p.address, p.size) == RegionKind::Flash;
        if (keep_flash && in_flash)
            if (auto bytes = memory_.read(p.address, p.size)) keep.emplace_back(p.address, std::move(*bytes));
    }
    write_structures(memory_, layout_, version_texts(config_, firmware_, firmware_date_));
    for (const auto& [address, bytes] : keep) memory_.load(address, bytes);
    // The firmware starts idle with an empty queue.
    status_ = HostWords{};
    status_[hw::kState] = kHostStateIdle;
    status_[hw::kCommandTime] = kHostInitialCommandTime;
    queue_.clear();
    measure_due_.reset();
    area_step_ = 0;
    newest_classic_entry_ = 0;
    classic_entries_written_ = 0;
}

std::optional<std::vector<std::uint8_t>> DeviceCore::read(std::uint32_t address, std::uint32_t length) {
    if (boot_loader_only() && memory_.kind_at(address, length) == RegionKind::Ram) {
        journal_.refused("read of RAM while the boot loader runs", 0, address, length);
        return std::nullopt;
    }
    auto bytes = memory_.read(address, length);
    if (!bytes) {
        journal_.refused("read out of range", 0, address, length);
        return std::nullopt;
    }
    journal_.record(JournalEntry{EventKind::MemoryRead, Flag::None, 0, address, length, 0, {}});
    return bytes;
}

WriteStatus DeviceCore::write(std::uint32_t address, std::span<const std::uint8_t> data, Clock::time_point now) {
    const auto length = static_cast<std::uint32_t>(data.size());
    const auto kind = memory_.kind_at(address, length);
    if (!kind) {
        journal_.refused("write out of range", 0, address, length);
        return WriteStatus::OutOfRange;
    }
    if (boot_loader_only() && *kind == RegionKind::Ram) {
        journal_.refused("write to RAM while the boot loader runs", 0, address, length);
        return WriteStatus::Refused;
    }
    if (boot_faults_.take_write_refusal(address, length)) {
        journal_.refused("write refused by a fault", 0, address, length);
        return WriteStatus::Refused;
    }
    if (*kind == RegionKind::Flash) {
        FlashBank* bank = memory_.flash_at(address, length);
        if (bank->program(address, data, update_mode_, journal_) != FlashResult::Ok) return WriteStatus::Refused;
        if (boot_faults_.weak_cell_in(address, length)) {
            // The cell does not hold its programmed value: bit 0 reads flipped.
            const std::uint32_t cell = *boot_faults_.weak_cell;
            const std::uint8_t weak = static_cast<std::uint8_t>(data[cell - address] ^ 0x01);
            memory_.load(cell, std::span(&weak, 1));
            permanent_.weak_cells.insert(cell);
            permanent_changed();
        }
        flash_changed(address, length);
    } else {
        memory_.write(address, data);
        journal_.record(JournalEntry{EventKind::MemoryWrite, Flag::None, 0, address, length, 0, {}});
        if (auto host = ram_placement(tw::kHost); host && overlaps(address, length, host->address, 4))
            host_block_written(now);
    }
    if (boot_faults_.take_lost_write_ack(address, length)) {
        journal_.refused("write done, its acknowledgement lost by a fault", 0, address, length);
        return WriteStatus::AckLost;
    }
    return WriteStatus::Ok;
}

bool DeviceCore::lose_command_ack(std::uint32_t command) {
    if (!boot_faults_.take_lost_command_ack(command)) return false;
    journal_.refused("command done, its acknowledgement lost by a fault", command, 0, 0);
    return true;
}

void DeviceCore::host_block_written(Clock::time_point now) {
    const auto host = *ram_placement(tw::kHost);
    const auto block = *memory_.read(host.address, host.size);
    const HostWords words = read_host_words(block, host_layout_, layout_.order);
    if (words[hw::kCommand] == 0) {
        // No command: the host acknowledges events by writing their flags back cleared.
        host_due_.reset();  // and a command it had written is taken back
        status_[hw::kEvents] &= words[hw::kEvents];
        publish_status();
        return;
    }
    const auto delay = config_.completion_delay();
    if (delay.count() == 0) {
        host_due_.reset();
        run_host_command(now);
    } else {
        // The firmware keeps its status words current while the command is under way.
        host_due_ = now + delay;
        publish_status();
    }
}

void DeviceCore::run_host_command(Clock::time_point now) {
    const auto host = ram_placement(tw::kHost);
    if (!host) return;
    auto bytes = *memory_.read(host->address, host->size);
    HostWords words = read_host_words(bytes, host_layout_, layout_.order);
    journal_.record(JournalEntry{EventKind::HostCommand, Flag::None, 0, words[hw::kArg1], 0, words[hw::kCommand], {}});
    const HostWords sent = words;
    for (std::size_t r : kStatusRoles) words[r] = status_[r];
    const auto effect = execute_host_command(words, config_.device_type);
    for (std::size_t r : kStatusRoles) status_[r] = words[r];
    write_host_words(bytes, words, host_layout_, layout_.order);
    memory_.load(host->address, bytes);
    carry_out(effect, sent, now);
}

void DeviceCore::note(std::uint32_t command, std::uint32_t value, std::string text) {
    journal_.record(JournalEntry{EventKind::HostAction, Flag::None, command, 0, 0, value, std::move(text)});
}

std::string DeviceCore::display_text() const {
    const auto p = layout_.find(tw::kDisplayText);
    if (!p || p->size <= 12) return {};
    const auto bytes = *memory_.read(p->address + 12, p->size - 12);
    std::string text;
    for (std::uint8_t c : bytes) {
        if (c == 0) break;
        text += static_cast<char>(c);
    }
    return text;
}

void DeviceCore::carry_out(const HostCommandEffect& effect, const HostWords& sent, Clock::time_point now) {
    const std::uint32_t command = sent[hw::kCommand];
    if (effect.unknown) note(command, 0, "unknown command " + hex(command) + " ignored");
    if (effect.host_mode) note(command, sent[hw::kArg1], "host mode; display: " + display_text());
    if (effect.store) {
        capture_permanent();
        note(command, host::kStateStore, "settings stored");
    }
    if (effect.clear_queue) {
        queue_.clear();
        status_[hw::kQueue] = queue_.host_word();
        note(command, 0, "queue cleared");
    }
    if (effect.restore_defaults) {
        if (auto s = layout_.find(tw::kSettings)) memory_.load(s->address, default_settings(layout_, s->size));
        note(command, host::kServiceRestoreDefaults, "settings restored to defaults");
    }
    if (effect.read_queue) {
        const std::uint32_t index = sent[hw::kQueueIndex];
        if (queue_.select(index)) {
            write_measurement(memory_, layout_, queue_.at(index), index);
            status_[hw::kQueue] = queue_.host_word();
            note(command, index, "queue entry loaded");
        } else {
            note(command, index, "no such queue entry");
        }
    }
    if (effect.measure || effect.calibrate) start_measurement(now, effect.calibrate && !effect.measure, command);
    publish_status();
}

void DeviceCore::start_measurement(Clock::time_point now, bool calibrate, std::uint32_t command) {
    if (measure_due_) {
        note(command, 0, "busy measuring; command ignored");
        return;
    }
    calibrating_ = calibrate;
    note(command, 0, calibrating_ ? "calibration started" : "measurement started");
    measure_due_ = now + config_.measure_time;
    if (config_.measure_time.count() == 0) {
        measure_due_.reset();
        finish_measurement();
    }
}

void DeviceCore::press_trigger(Clock::time_point now) {
    if (boot_loader_only()) {
        note(0, trigger_presses_, "trigger ignored: the boot loader runs");
        return;
    }
    ++trigger_presses_;
    note(0, trigger_presses_, "trigger pressed");
    start_measurement(now, false, 0);
    publish_status();
}

bool DeviceCore::echo_current() {
    if (queue_.size() == 0) {
        note(0, 0, "nothing to send again");
        return false;
    }
    const std::size_t index = queue_.position();
    const std::size_t entry = layout_.layout_number < 22 ? newest_classic_entry_ : 0;
    write_measurement(memory_, layout_, queue_.at(index), entry);
    status_[hw::kEvents] |= host::kEventEcho;
    note(0, static_cast<std::uint32_t>(index), "queue entry sent again");
    publish_status();
    return true;
}

void DeviceCore::set_lamp_bits(std::uint32_t bits) {
    status_[hw::kLamp] = bits;
    data_changed();
    publish_status();
}

// The kinds follow the rotation (or the configured kind); a tooth area takes
// three measurements, one per area, before the rotation moves on.
MeasurementSample DeviceCore::next_sample() {
    const int mode = config_.measure_kind != 0 ? config_.measure_kind
                                               : rotation_kind(sequence_, config_.reports_whiteness);
    MeasurementSample m = colour_measurement(measurements_taken_, sequence_, mode, area_step_);
    if (mode == kind::kToothArea && ++area_step_ < 3) return m;
    area_step_ = 0;
    ++sequence_;
    return m;
}

// The first generation keeps twelve entries.  From .19 on it fills them as a
// ring from the top down, so the entry after the newest holds the one before;
// .16 to .18 keep a single measurement in entry 1 and a tooth area's three
// areas in entries 0 to 2.
std::size_t DeviceCore::place_classic_entry(const MeasurementSample& m) {
    const int n = layout_.layout_number;
    if (n >= 16 && n <= 18) {
        const auto results = layout_.find(tw::kResults);
        auto clear_state = [&](std::size_t e) {
            if (results) memory_.load(results->address + static_cast<std::uint32_t>(e) * layout_.results_entry,
                                      std::vector<std::uint8_t>(4, 0));
        };
        if (m.mode != kind::kToothArea) {
            clear_state(0);
            return 1;
        }
        if (m.area_step == 0) clear_state(1), clear_state(2);
        return static_cast<std::size_t>(m.area_step);
    }
    const std::size_t entry = (kClassicResultEntries - classic_entries_written_ % kClassicResultEntries) %
                              kClassicResultEntries;
    ++classic_entries_written_;
    return entry;
}

void DeviceCore::finish_measurement() {
    const MeasurementSample m = calibrating_ ? calibration_measurement(measurements_taken_) : next_sample();
    ++measurements_taken_;
    queue_.add(m);
    std::size_t entry = 0;
    if (layout_.layout_number < 22) {
        if (!calibrating_) {
            entry = place_classic_entry(m);
            newest_classic_entry_ = entry;
            write_measurement(memory_, layout_, m, entry);
        }
        status_[hw::kQueue] = static_cast<std::uint32_t>(newest_classic_entry_);
        status_[hw::kState] = calibrating_ ? kCalibratedState : kClassicResultsState;
    } else {
        write_measurement(memory_, layout_, m, entry);
        status_[hw::kQueue] = queue_.host_word();
        status_[hw::kState] = state_after(m.mode);
    }
    status_[hw::kEvents] |= host::kEventMeasurement;
    data_changed();
    note(calibrating_ ? host::kCalibrate : host::kMeasure, static_cast<std::uint32_t>(queue_.size()),
         calibrating_ ? "calibration done" : "measurement done");
    publish_status();
}

void DeviceCore::data_changed() {
    ++data_changes_;
    if (auto p = layout_.find(tw::kData))
        memory_.load(p->address, data_block(layout_.layout_number, p->size, layout_.order, data_changes_,
                                            status_[hw::kLamp]));
}

void DeviceCore::publish_status() {
    const auto host = ram_placement(tw::kHost);
    if (!host) return;
    auto bytes = *memory_.read(host->address, host->size);
    HostWords words = read_host_words(bytes, host_layout_, layout_.order);
    // A slow sample rate asks the host to poll by the sample interval.
    if (status_[hw::kCommandTime] >= kSampleIntervalCommandTime)
        status_[hw::kEvents] |= host::kEventSampleInterval;
    else
        status_[hw::kEvents] &= ~host::kEventSampleInterval;
    for (std::size_t r : kStatusRoles) words[r] = status_[r];
    write_host_words(bytes, words, host_layout_, layout_.order);
    memory_.load(host->address, bytes);
}

std::optional<Clock::time_point> DeviceCore::next_deadline() const {
    std::optional<Clock::time_point> next;
    for (const auto& t : {host_due_, measure_due_, next_trigger_})
        if (t && (!next || *t < *next)) next = t;
    return next;
}

void DeviceCore::tick(Clock::time_point now) {
    if (host_due_ && now >= *host_due_) {
        host_due_.reset();
        run_host_command(now);
    }
    if (measure_due_ && now >= *measure_due_) {
        measure_due_.reset();
        finish_measurement();
    }
    if (next_trigger_ && now >= *next_trigger_) {
        next_trigger_ = now + config_.trigger_every;
        press_trigger(now);
    }
}

bool DeviceCore::accept_controller_command(std::uint32_t command, std::uint32_t value) {
    if (!boot_faults_.take_command_refusal(command, value)) return true;
    journal_.refused("controller command refused by a fault", command, 0, value);
    return false;
}

bool DeviceCore::erase_sector(std::uint32_t index) {
    ++erases_;
    for (auto& bank : memory_.flash_banks()) {
        const auto sector = bank->sector(index);
        if (!sector) continue;
        if (bank->erase(index, update_mode_, journal_) != FlashResult::Ok) return false;
        const std::uint32_t first = bank->base() + sector->offset;
        // Erased cells read 0xFF as they should, weak or not.
        auto& weak = permanent_.weak_cells;
        const auto from = weak.lower_bound(first), to = weak.lower_bound(first + sector->size);
        if (from != to) {
            weak.erase(from, to);
            permanent_changed();
        }
        flash_changed(first, sector->size);
        return true;
    }
    journal_.refused("erase of an unknown sector", index, 0, 0);
    return false;
}

int DeviceCore::take_erases() { return std::exchange(erases_, 0); }

void DeviceCore::enter_update_mode() {
    update_mode_ = true;
    for (auto& bank : memory_.flash_banks()) bank->begin_session();
}

bool DeviceCore::take_restart_request() {
    const bool r = restart_requested_;
    restart_requested_ = false;
    return r;
}

bool DeviceCore::application_valid() const {
    if (!stm32()) return true;
    const std::uint32_t at = 0x08000000 + kApplicationOffset;
    const auto header = memory_.read(at, kHeaderBlockSize);
    if (!header || !parse_firmware_header(*header)) return false;
    const auto weak = permanent_.weak_cells.lower_bound(at);
    return weak == permanent_.weak_cells.end() || *weak >= at + kHeaderBlockSize;
}

void DeviceCore::restart() { boot("firmware "); }

void DeviceCore::power_on(PermanentState permanent) {
    permanent_ = std::move(permanent);
    boot("power on; firmware ");
}

void DeviceCore::boot(std::string why) {
    update_mode_ = false;
    host_due_.reset();
    measure_due_.reset();
    if (stm32()) {
        const auto header = memory_.read(0x08000000 + kApplicationOffset, kHeaderBlockSize);
        if (!application_valid()) {
            // Nothing to start: the boot loader keeps the instrument, and the
            // application's permanent memory stays as it was.
            update_mode_ = true;
            for (auto& bank : memory_.flash_banks()) bank->begin_session();
            journal_.record(JournalEntry{EventKind::Restart, Flag::None, 0, 0, 0, 0, "no application; boot loader stays"});
            return;
        }
        const auto h = parse_firmware_header(*header);
        firmware_ = h->release;
        firmware_date_ = h->date;
    }
    // Only what was stored comes back.  New firmware builds its identity block
    // afresh and brings its own default settings unless it keeps the stored ones.
    const bool same = permanent_.firmware == firmware_;
    if (table_address_for(config_)) {
        load_structures(true);
        const auto restore = [&](std::size_t table_word, const std::vector<std::uint8_t>& bytes) {
            const auto p = layout_.find(table_word);
            if (p && !bytes.empty() && bytes.size() == p->size) memory_.load(p->address, bytes);
        };
        if (same || !config_.reset_settings_on_restart) restore(tw::kSettings, permanent_.settings);
        if (same) restore(tw::kVersion, permanent_.version);
    }
    if (!same) capture_permanent();
    journal_.record(JournalEntry{EventKind::Restart, Flag::None, 0, 0, 0, 0, why + firmware_});
}

void DeviceCore::capture_permanent() {
    permanent_.firmware = firmware_;
    const auto bytes_of = [&](std::size_t table_word) {
        const auto p = layout_.find(table_word);
        if (!p) return std::vector<std::uint8_t>{};
        return memory_.read(p->address, p->size).value_or(std::vector<std::uint8_t>{});
    };
    permanent_.version = bytes_of(tw::kVersion);
    permanent_.settings = bytes_of(tw::kSettings);
    permanent_changed();
}

void DeviceCore::flash_changed(std::uint32_t address, std::uint32_t length) {
    if (hooks_.flash_changed) hooks_.flash_changed(address, length);
}

void DeviceCore::permanent_changed() {
    if (hooks_.permanent_changed) hooks_.permanent_changed();
}

}  // namespace tola::sim
