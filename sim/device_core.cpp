#include "sim/device_core.h"

#include <algorithm>

#include "sim/byte_order.h"
#include "sim/firmware_header.h"
#include "sim/host_block.h"

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

}  // namespace

DeviceCore::DeviceCore(InstrumentConfig config, Journal& journal)
    : config_(std::move(config)), journal_(journal), firmware_(config_.firmware),
      firmware_date_(config_.firmware_date) {
    build_memory_map();
    layout_ = plan_structures(config_);
    load_factory_flash();
    if (table_address_for(config_)) load_structures(false, false);
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

void DeviceCore::load_structures(bool keep_settings, bool keep_flash) {
    // What survives a restart: whatever sits in flash, and the settings unless the
    // new firmware brings its own defaults.
    std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> keep;
    for (const auto& p : layout_.placements) {
        const bool in_flash = memory_.kind_at(p.address, p.size) == RegionKind::Flash;
        if ((keep_flash && in_flash) || (keep_settings && p.table_word == tw::kSettings))
            if (auto bytes = memory_.read(p.address, p.size)) keep.emplace_back(p.address, std::move(*bytes));
    }
    write_structures(memory_, layout_, version_texts(config_, firmware_, firmware_date_));
    for (const auto& [address, bytes] : keep) memory_.load(address, bytes);
}

std::optional<std::vector<std::uint8_t>> DeviceCore::read(std::uint32_t address, std::uint32_t length) {
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
    if (*kind == RegionKind::Flash) {
        FlashBank* bank = memory_.flash_at(address, length);
        return bank->program(address, data, update_mode_, journal_) == FlashResult::Ok ? WriteStatus::Ok
                                                                                      : WriteStatus::Refused;
    }
    memory_.write(address, data);
    journal_.record(JournalEntry{EventKind::MemoryWrite, Flag::None, 0, address, length, 0, {}});
    if (auto host = ram_placement(tw::kHost); host && overlaps(address, length, host->address, 4))
        host_block_written(now);
    return WriteStatus::Ok;
}

void DeviceCore::host_block_written(Clock::time_point now) {
    const auto host = *ram_placement(tw::kHost);
    const auto word0 = memory_.read(host.address, 4);
    if (!word0 || load_u32(*word0, layout_.order) == 0) {
        host_due_.reset();  // the host took its command back
        return;
    }
    const auto delay = config_.completion_delay();
    if (delay.count() == 0) {
        host_due_.reset();
        run_host_command();
    } else {
        host_due_ = now + delay;
    }
}

void DeviceCore::run_host_command() {
    const auto host = ram_placement(tw::kHost);
    if (!host) return;
    const std::uint32_t n = std::min<std::uint32_t>(host->size / 4, 16);
    auto bytes = *memory_.read(host->address, n * 4);
    std::array<std::uint32_t, 16> words{};
    for (std::uint32_t i = 0; i < n; ++i) words[i] = load_u32(std::span(bytes).subspan(i * 4), layout_.order);
    journal_.record(JournalEntry{EventKind::HostCommand, Flag::None, 0, words[1], 0, words[0], {}});
    const auto effect = execute_host_command(std::span(words).first(n), config_.device_type);
    for (std::uint32_t i = 0; i < n; ++i) store_u32(std::span(bytes).subspan(i * 4), words[i], layout_.order);
    memory_.load(host->address, bytes);
    if (effect.restore_defaults)
        if (auto s = layout_.find(tw::kSettings)) memory_.load(s->address, pattern_block(tw::kSettings, s->size, layout_.order));
}

void DeviceCore::tick(Clock::time_point now) {
    if (host_due_ && now >= *host_due_) {
        host_due_.reset();
        run_host_command();
    }
}

bool DeviceCore::erase_sector(std::uint32_t index) {
    for (auto& bank : memory_.flash_banks())
        if (bank->sector(index)) return bank->erase(index, update_mode_, journal_) == FlashResult::Ok;
    journal_.refused("erase of an unknown sector", index, 0, 0);
    return false;
}

void DeviceCore::enter_update_mode() {
    update_mode_ = true;
    for (auto& bank : memory_.flash_banks()) bank->begin_session();
}

bool DeviceCore::take_restart_request() {
    const bool r = restart_requested_;
    restart_requested_ = false;
    return r;
}

void DeviceCore::restart() {
    update_mode_ = false;
    host_due_.reset();
    const std::string previous = firmware_;
    std::string note;
    if (config_.kind == 4 && config_.cpu == 2) {
        const auto header = memory_.read(0x08000000 + kApplicationOffset, kHeaderBlockSize);
        if (auto h = header ? parse_firmware_header(*header) : std::nullopt) {
            firmware_ = h->release;
            firmware_date_ = h->date;
        } else {
            update_mode_ = true;  // nothing to start: the boot loader keeps the instrument
            note = "no application; boot loader stays";
        }
    }
    const bool keep = !(config_.reset_settings_on_restart && firmware_ != previous);
    if (table_address_for(config_)) load_structures(keep, true);
    journal_.record(JournalEntry{EventKind::Restart, Flag::None, 0, 0, 0, 0,
                                 note.empty() ? "firmware " + firmware_ : note});
}

}  // namespace tola::sim
