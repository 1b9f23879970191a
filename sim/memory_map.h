// The address space of one instrument: RAM windows, sparse peripheral windows and
// flash banks.  Accesses must stay inside one window.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/flash_bank.h"

namespace tola::sim {

enum class RegionKind { Ram, Peripheral, Flash };

class MemoryMap {
public:
    void add_ram(std::string name, std::uint32_t base, std::uint32_t size);
    void add_peripheral(std::string name, std::uint32_t base, std::uint32_t size);
    FlashBank& add_flash(FlashGeometry geometry);

    // Kind of the window that holds [address, address + length), if one does.
    std::optional<RegionKind> kind_at(std::uint32_t address, std::uint32_t length) const;
    bool start_mapped(std::uint32_t address) const;

    std::optional<std::vector<std::uint8_t>> read(std::uint32_t address, std::uint32_t length) const;

    // RAM and peripheral writes; flash goes through flash_at().
    bool write(std::uint32_t address, std::span<const std::uint8_t> data);

    // Writes anywhere, flash included, without programming rules (factory content).
    bool load(std::uint32_t address, std::span<const std::uint8_t> data);

    FlashBank* flash_at(std::uint32_t address, std::uint32_t length);
    std::vector<std::unique_ptr<FlashBank>>& flash_banks() { return flash_; }
    const std::vector<std::unique_ptr<FlashBank>>& flash_banks() const { return flash_; }

private:
    struct Window {
        std::string name;
        std::uint32_t base;
        std::uint32_t size;
        RegionKind kind;
        std::vector<std::uint8_t> bytes;                 // RAM
        std::map<std::uint32_t, std::uint8_t> sparse;    // peripherals: written bytes only
    };
    const Window* window_at(std::uint32_t address, std::uint32_t length) const;
    Window* window_at(std::uint32_t address, std::uint32_t length);

    std::vector<Window> windows_;
    std::vector<std::unique_ptr<FlashBank>> flash_;
};

}  // namespace tola::sim
