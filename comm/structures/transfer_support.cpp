#include "comm/structures/transfer_support.h"

#include "comm/commands/command_timing.h"
#include "comm/commands/host_exchange.h"
#include "comm/platform/clock.h"
#include "comm/structures/host_copies.h"
#include "comm/structures/layout_state.h"
#include "comm/structures/structure_converter.h"
#include "comm/structures/target_sizes.h"

#include <cstring>

namespace tola::structures {

std::array<std::uint8_t, kStagingSize>& staging() {
    alignas(8) static std::array<std::uint8_t, kStagingSize> buffer{};
    return buffer;
}

std::uint32_t table_address_word(std::size_t word) {
    std::uint32_t words[24];
    std::memcpy(words, &host_copies().table, sizeof words);
    return word < 24 ? words[word] : 0;
}

std::size_t target_bytes(const CatalogueEntry& e) {
    return static_cast<std::size_t>(current_target_sizes()[static_cast<std::size_t>(e.size_word)]) * e.count;
}

bool convert_copy(const CatalogueEntry& e, Direction direction, std::span<std::uint8_t> target) {
    const std::span<std::uint8_t> host = host_bytes(e.copy);
    if (e.count > 1)
        return convert_each(e.kind, e.count, direction, current_release(), current_byte_order(), host, target);
    return convert(e.kind, direction, current_release(), current_byte_order(), host, target);
}

bool store_sequence() {
    const std::uint32_t wait = commands::command_wait_ms();
    platform::sleep_ms(200);
    commands::host_command(0x2, wait, {{1, 5}});
    platform::sleep_ms(200);
    commands::host_command(0x2, wait, {{1, 5}});
    platform::sleep_ms(200);
    commands::host_command(0x200, wait);
    platform::sleep_ms(200);
    return commands::host_command(0x2, wait, {{1, 53}});
}

}  // namespace tola::structures
