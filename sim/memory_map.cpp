#include "sim/memory_map.h"

#include <algorithm>
#include <utility>

namespace tola::sim {
namespace {
bool inside(std::uint32_t base, std::uint64_t size, std::uint32_t address, std::uint32_t length) {
    return address >= base && static_cast<std::uint64_t>(address) + length <= base + size;
}
}  // namespace

void MemoryMap::add_ram(std::string name, std::uint32_t base, std::uint32_t size) {
    windows_.push_back(Window{std::move(name), base, size, RegionKind::Ram, std::vector<std::uint8_t>(size), {}});
}

void MemoryMap::add_peripheral(std::string name, std::uint32_t base, std::uint32_t size) {
    windows_.push_back(Window{std::move(name), base, size, RegionKind::Peripheral, {}, {}});
}

FlashBank& MemoryMap::add_flash(FlashGeometry geometry) {
    flash_.push_back(std::make_unique<FlashBank>(std::move(geometry)));
    return *flash_.back();
}

const MemoryMap::Window* MemoryMap::window_at(std::uint32_t address, std::uint32_t length) const {
    for (const auto& w : windows_)
        if (inside(w.base, w.size, address, length)) return &w;
    return nullptr;
}

MemoryMap::Window* MemoryMap::window_at(std::uint32_t address, std::uint32_t length) {
    return const_cast<Window*>(std::as_const(*this).window_at(address, length));
}

FlashBank* MemoryMap::flash_at(std::uint32_t address, std::uint32_t length) {
    for (auto& f : flash_)
        if (f->contains(address, length)) return f.get();
    return nullptr;
}

std::optional<RegionKind> MemoryMap::kind_at(std::uint32_t address, std::uint32_t length) const {
    if (const Window* w = window_at(address, length)) return w->kind;
    for (const auto& f : flash_)
        if (f->contains(address, length)) return RegionKind::Flash;
    return std::nullopt;
}

bool MemoryMap::start_mapped(std::uint32_t address) const { return kind_at(address, 1).has_value(); }

std::optional<std::vector<std::uint8_t>> MemoryMap::read(std::uint32_t address, std::uint32_t length) const {
    if (const Window* w = window_at(address, length)) {
        const std::uint32_t off = address - w->base;
        if (w->kind == RegionKind::Ram)
            return std::vector<std::uint8_t>(w->bytes.begin() + off, w->bytes.begin() + off + length);
        std::vector<std::uint8_t> out(length, 0);
        for (std::uint32_t i = 0; i < length; ++i)
            if (auto it = w->sparse.find(address + i); it != w->sparse.end()) out[i] = it->second;
        return out;
    }
    for (const auto& f : flash_) {
        if (!f->contains(address, length)) continue;
        const auto b = f->bytes().subspan(address - f->base(), length);
        return std::vector<std::uint8_t>(b.begin(), b.end());
    }
    return std::nullopt;
}

bool MemoryMap::write(std::uint32_t address, std::span<const std::uint8_t> data) {
    Window* w = window_at(address, static_cast<std::uint32_t>(data.size()));
    if (!w) return false;
    if (w->kind == RegionKind::Ram) {
        std::copy(data.begin(), data.end(), w->bytes.begin() + (address - w->base));
    } else {
        for (std::size_t i = 0; i < data.size(); ++i) w->sparse[address + static_cast<std::uint32_t>(i)] = data[i];
    }
    return true;
}

bool MemoryMap::load(std::uint32_t address, std::span<const std::uint8_t> data) {
    if (write(address, data)) return true;
    if (FlashBank* f = flash_at(address, static_cast<std::uint32_t>(data.size()))) {
        f->load(address - f->base(), data);
        return true;
    }
    return false;
}

}  // namespace tola::sim
