// One flash array: its sector geometry, the erased-bytes rule, and the checks that
// catch an unsafe programming order (boot area touched, application header block
// programmed before the rest of the image).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/journal.h"

namespace tola::sim {

struct FlashGeometry {
    std::string name;
    std::uint32_t base = 0;
    std::vector<std::uint32_t> sector_sizes;
    std::uint32_t first_index = 0;       // number the first sector answers to
    std::uint32_t boot_area_end = 0;     // offsets below are the boot loader's (0: none)
    std::optional<std::uint32_t> header_offset;  // application header block, 64 bytes
    bool needs_update_mode = false;      // programming and erasing only inside the boot loader
};

inline constexpr std::uint32_t kHeaderBlockSize = 64;

FlashGeometry stm32f2_flash();
FlashGeometry h8sx_flash();
FlashGeometry classic_internal_flash();
FlashGeometry classic_external_flash();

enum class FlashResult { Ok, NotInUpdateMode, NotErased, OutOfRange };

class FlashBank {
public:
    explicit FlashBank(FlashGeometry geometry);

    const FlashGeometry& geometry() const { return geometry_; }
    std::uint32_t base() const { return geometry_.base; }
    std::uint32_t size() const { return static_cast<std::uint32_t>(bytes_.size()); }
    bool contains(std::uint32_t address, std::uint32_t length) const;
    std::span<const std::uint8_t> bytes() const { return bytes_; }

    // Sector start offset and size for a sector number, if the bank has it.
    struct Sector { std::uint32_t offset, size; };
    std::optional<Sector> sector(std::uint32_t index) const;

    // Factory content, bypassing every rule.
    void load(std::uint32_t offset, std::span<const std::uint8_t> data);

    FlashResult program(std::uint32_t address, std::span<const std::uint8_t> data, bool update_mode,
                        Journal& journal);
    FlashResult erase(std::uint32_t index, bool update_mode, Journal& journal);

    // A new programming session starts whenever the boot loader is entered.
    void begin_session() { header_programmed_ = false; header_flagged_ = false; }

private:
    FlashGeometry geometry_;
    std::vector<std::uint8_t> bytes_;
    bool header_programmed_ = false;
    bool header_flagged_ = false;
};

}  // namespace tola::sim
