#include "comm/links/serial/memory_transfer.h"

#include "comm/api/library_state.h"

#include <array>

namespace tola::serial {
namespace {

std::array<std::uint8_t, 8> request(std::uint32_t address, std::int32_t length) {
    const auto n = static_cast<std::uint32_t>(length);
    std::array<std::uint8_t, 8> r{};
    for (int i = 0; i < 4; ++i) {
        r[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(address >> (8 * i));
        r[static_cast<std::size_t>(4 + i)] = static_cast<std::uint8_t>(n >> (8 * i));
    }
    return r;
}

}  // namespace

bool memory_write(PacketLink& link, std::span<const MemoryWindow> windows, std::uint32_t address,
                  const std::uint8_t* data, std::int32_t length) {
    if (!PacketLink::link_open() || (data == nullptr && length > 0)) return false;
    const auto code = request_code(windows, Access::Write, address, length);
    if (!code) return false;
    link.complete_pending_check();
    const auto head = request(address, length);
    const bool ok = link.send_block(*code, head.data(), head.size()) &&
                    link.send_block(*code, data, static_cast<std::size_t>(length));
    progress_step(0);
    link.state().last_memory_transfer_tick = link.time().now();
    return ok;
}

bool memory_read(PacketLink& link, std::span<const MemoryWindow> windows, std::uint32_t address,
                 std::uint8_t* buffer, std::int32_t length) {
    if (!PacketLink::link_open() || (buffer == nullptr && length > 0)) return false;
    const auto code = request_code(windows, Access::Read, address, length);
    if (!code) return false;
    link.complete_pending_check();
    link.stream().clear_input();
    const auto head = request(address, length);
    const bool ok = link.send_block(*code, head.data(), head.size()) &&
                    link.receive_block(*code, buffer, static_cast<std::size_t>(length), false);
    progress_step(0);
    link.state().last_memory_transfer_tick = link.time().now();
    if (!ok) link.stream().clear_all();
    return ok;
}

}  // namespace tola::serial
