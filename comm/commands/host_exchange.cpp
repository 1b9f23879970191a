#include "comm/commands/host_exchange.h"

#include "comm/links/memory_access.h"
#include "comm/links/usb/usb_state.h"
#include "comm/platform/clock.h"
#include "comm/structures/host_copies.h"
#include "comm/structures/layout_state.h"
#include "comm/structures/structure_converter.h"
#include "comm/structures/target_sizes.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace tola::commands {
namespace {

using structures::Direction;
using structures::StructureKind;

constexpr std::size_t kMaxTargetBlock = 128;

std::int32_t target_block_size() {
    const std::uint32_t size = structures::current_target_sizes()[structures::word::kHostBlock];
    return static_cast<std::int32_t>(std::min<std::uint32_t>(size, kMaxTargetBlock));
}

bool write_block(std::uint32_t address, COMM_USB_HOST& block) {
    std::array<std::uint8_t, kMaxTargetBlock> target{};
    const std::int32_t size = target_block_size();
    if (!structures::convert(StructureKind::UsbHost, Direction::Download, structures::current_release(),
                             structures::current_byte_order(), {reinterpret_cast<std::uint8_t*>(&block), sizeof block},
                             {target.data(), static_cast<std::size_t>(size)}))
        return false;
    return links::memory_write(address, target.data(), size);
}

bool read_block(std::uint32_t address, COMM_USB_HOST& block) {
    std::array<std::uint8_t, kMaxTargetBlock> target{};
    const std::int32_t size = target_block_size();
    if (!links::memory_read(address, target.data(), size)) return false;
    return structures::convert(StructureKind::UsbHost, Direction::Upload, structures::current_release(),
                               structures::current_byte_order(), {reinterpret_cast<std::uint8_t*>(&block), sizeof block},
                               {target.data(), static_cast<std::size_t>(size)});
}

}  // namespace

bool host_exchange(COMM_USB_HOST* block, std::uint32_t wait_ms) {
    const std::uint32_t address = structures::host_copies().table.dCOMM_USB_HOST;
    if (address == 0) return false;
    COMM_USB_HOST& library_copy = structures::host_copies().host_block;
    if (block == nullptr) {
        COMM_USB_HOST answer{};
        if (!read_block(address, answer)) return false;
        library_copy = answer;
        return true;
    }
    if (!write_block(address, *block)) return false;
    if (wait_ms == 0) return true;
    wait_ms = std::min(wait_ms, kMaxHostWaitMs);
    if (usb::usb_state().release_number != usb::kStm32ReleaseNumber) {
        platform::sleep_ms(wait_ms);
        if (!read_block(address, *block)) return false;
    } else if (block->qdWord[0] != 0) {
        // The instrument clears word 0 when it has finished the command.  A
        // block found finished counts even on the poll that ends the wait:
        // waits below one poll interval would otherwise always fail.
        std::uint32_t elapsed = 0;
        for (;;) {
            platform::poll_sleep_ms(kHostPollMs);
            if (!read_block(address, *block)) return false;
            elapsed += kHostPollMs;
            if (block->qdWord[0] == 0) break;
            if (elapsed > wait_ms) return false;
        }
    } else if (!read_block(address, *block)) {
        return false;
    }
    library_copy = *block;
    return true;
}

bool host_command(std::uint32_t command, std::uint32_t wait_ms,
                  std::initializer_list<std::pair<int, std::uint32_t>> words) {
    COMM_USB_HOST block{};
    block.qdWord[0] = command;
    for (const auto& [index, value] : words) block.qdWord[index] = value;
    return host_exchange(&block, wait_ms);
}

}  // namespace tola::commands
