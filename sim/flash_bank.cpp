#include "sim/flash_bank.h"

#include <algorithm>
#include <numeric>

namespace tola::sim {

FlashGeometry stm32f2_flash() {
    FlashGeometry g;
    g.name = "flash";
    g.base = 0x08000000;
    g.sector_sizes = {0x4000, 0x4000, 0x4000, 0x4000, 0x10000};
    g.sector_sizes.insert(g.sector_sizes.end(), 7, 0x20000);
    g.boot_area_end = 0xC000;
    g.header_offset = 0xC000;
    g.needs_update_mode = true;
    return g;
}

FlashGeometry h8sx_flash() {
    // Eight small blocks, one of 32 KiB and five of 64 KiB up to 0x5FFFF.
    FlashGeometry g;
    g.name = "flash";
    g.base = 0;
    g.sector_sizes.assign(8, 0x1000);
    g.sector_sizes.push_back(0x8000);
    g.sector_sizes.insert(g.sector_sizes.end(), 5, 0x10000);
    g.needs_update_mode = true;
    return g;
}

FlashGeometry classic_internal_flash() {
    FlashGeometry g;
    g.name = "internal flash";
    g.base = 0;
    g.sector_sizes.assign(8, 0x4000);
    return g;
}

FlashGeometry classic_external_flash() {
    FlashGeometry g;
    g.name = "external flash";
    g.base = 0x80000000;
    g.sector_sizes.assign(32, 0x2000);
    g.first_index = 10;
    return g;
}

FlashBank::FlashBank(FlashGeometry geometry)
    : geometry_(std::move(geometry)),
      bytes_(std::accumulate(geometry_.sector_sizes.begin(), geometry_.sector_sizes.end(), std::size_t{0}), 0xFF) {}

bool FlashBank::contains(std::uint32_t address, std::uint32_t length) const {
    if (address < geometry_.base) return false;
    const std::uint64_t offset = address - geometry_.base;
    return offset + length <= bytes_.size() && offset < bytes_.size();
}

std::optional<FlashBank::Sector> FlashBank::sector(std::uint32_t index) const {
    if (index < geometry_.first_index) return std::nullopt;
    const std::size_t i = index - geometry_.first_index;
    if (i >= geometry_.sector_sizes.size()) return std::nullopt;
    std::uint32_t offset = 0;
    for (std::size_t k = 0; k < i; ++k) offset += geometry_.sector_sizes[k];
    return Sector{offset, geometry_.sector_sizes[i]};
}

void FlashBank::load(std::uint32_t offset, std::span<const std::uint8_t> data) {
    if (offset >= bytes_.size()) return;
    const std::size_t n = std::min<std::size_t>(data.size(), bytes_.size() - offset);
    std::copy_n(data.begin(), n, bytes_.begin() + offset);
}

FlashResult FlashBank::program(std::uint32_t address, std::span<const std::uint8_t> data, bool update_mode,
                               Journal& journal) {
    const auto length = static_cast<std::uint32_t>(data.size());
    if (!contains(address, length)) {
        journal.refused("flash write out of range", 0, address, length);
        return FlashResult::OutOfRange;
    }
    if (geometry_.needs_update_mode && !update_mode) {
        journal.refused("flash write outside update mode", 0, address, length);
        return FlashResult::NotInUpdateMode;
    }
    const std::uint32_t offset = address - geometry_.base;
    const auto target = std::span(bytes_).subspan(offset, length);
    // Programming can only clear bits of erased cells; anything else needs an erase first.
    const bool erased = std::all_of(target.begin(), target.end(), [](std::uint8_t b) { return b == 0xFF; });
    if (!erased) {
        journal.flag(Flag::UnerasedFlashWrite, address, length);
        journal.refused("flash write to unerased bytes", 0, address, length);
        return FlashResult::NotErased;
    }
    if (offset < geometry_.boot_area_end) journal.flag(Flag::BootAreaWrite, address, length);
    if (geometry_.header_offset) {
        const std::uint32_t h = *geometry_.header_offset;
        const bool touches_header = offset < h + kHeaderBlockSize && offset + length > h;
        const bool touches_image = offset + length > h + kHeaderBlockSize;
        if (touches_header) header_programmed_ = true;
        if (touches_image && header_programmed_ && !header_flagged_) {
            header_flagged_ = true;
            journal.flag(Flag::HeaderBeforeImage, address, length);
        }
    }
    std::copy(data.begin(), data.end(), target.begin());
    journal.record(JournalEntry{EventKind::FlashWrite, Flag::None, 0, address, length, 0, {}});
    return FlashResult::Ok;
}

FlashResult FlashBank::erase(std::uint32_t index, bool update_mode, Journal& journal) {
    const auto s = sector(index);
    if (!s) {
        journal.refused("erase of an unknown sector", index, 0, 0);
        return FlashResult::OutOfRange;
    }
    if (geometry_.needs_update_mode && !update_mode) {
        journal.refused("erase outside update mode", index, geometry_.base + s->offset, s->size);
        return FlashResult::NotInUpdateMode;
    }
    if (s->offset < geometry_.boot_area_end) journal.flag(Flag::BootAreaWrite, geometry_.base + s->offset, s->size);
    std::fill_n(bytes_.begin() + s->offset, s->size, std::uint8_t{0xFF});
    journal.record(JournalEntry{EventKind::Erase, Flag::None, 0, geometry_.base + s->offset, s->size, index, {}});
    return FlashResult::Ok;
}

}  // namespace tola::sim
