#include "sim/controller_face.h"

#include <algorithm>
#include <utility>

#include "sim/byte_order.h"

namespace tola::sim {
namespace {

constexpr std::size_t kBlockSize = 12;
constexpr std::uint32_t kMaxPiece = 64;

std::uint32_t block_value(const std::array<std::uint8_t, 12>& b) {
    return load_u32(std::span(b).subspan(4, 4), ByteOrder::Little);
}
std::uint16_t block_length(const std::array<std::uint8_t, 12>& b) {
    return load_u16(std::span(b).subspan(8, 2), ByteOrder::Little);
}
bool inside(std::uint32_t address, std::uint32_t length, std::uint32_t start, std::uint32_t end) {
    return address >= start && static_cast<std::uint64_t>(address) + length <= end;
}

}  // namespace

usbchannel::Reply ControllerFace::handle(const usbchannel::Request& request, FaultPlan&, Clock::time_point now) {
    if (request.code == usbchannel::kReceive) return on_receive(request);
    if (request.code != usbchannel::kSendBlock) return refused_reply();
    if (pending_.wait == Wait::WriteData) return on_data(request, now);
    if (pending_.wait == Wait::RepeatedBlock && request.input.size() == kBlockSize &&
        std::equal(request.input.begin(), request.input.end(), pending_.block.begin())) {
        const std::uint8_t code = pending_.block[2];
        const std::uint32_t value = block_value(pending_.block);
        pending_ = Pending{};
        if (stm32()) core_.request_restart();  // only command 10 is repeated on the STM32
        else run_command(code, value);
        if (core_.lose_command_ack(code)) return refused_reply();
        return taken_reply(kBlockSize);
    }
    return on_block(request, now);
}

bool ControllerFace::space_allows(std::uint8_t space, bool read, std::uint32_t address, std::uint32_t length) const {
    const auto kind = core_.memory().kind_at(address, length);
    if (!kind) return false;
    if (stm32()) {
        if (read) {
            if (space == 1) return kind == RegionKind::Ram;
            if (space == 3) return kind == RegionKind::Flash;
            if (space == 5) return kind == RegionKind::Peripheral;
            return false;
        }
        if (space == 2) return kind == RegionKind::Ram || kind == RegionKind::Peripheral;
        return space == 4 && kind == RegionKind::Flash;
    }
    switch (space) {
        case 1: return read && inside(address, length, 0xFF2000, 0xFFC000);
        case 2: return !read && inside(address, length, 0xFF2000, 0xFFC000);
        case 5: return read && inside(address, length, 0x200000, 0x240000);
        case 6: return !read && inside(address, length, 0x200000, 0x240000);
        case 3: return read && kind == RegionKind::Flash;
        case 4: return !read && kind == RegionKind::Flash;
        default: return false;
    }
}

usbchannel::Reply ControllerFace::on_block(const usbchannel::Request& request, Clock::time_point) {
    pending_ = Pending{};
    if (request.input.size() != kBlockSize) {
        core_.journal().refused("request block of wrong size", request.code, 0,
                                static_cast<std::uint32_t>(request.input.size()));
        return refused_reply();
    }
    std::copy(request.input.begin(), request.input.end(), pending_.block.begin());
    const auto& b = pending_.block;
    const std::uint8_t code = b[2];
    const std::uint32_t address = block_value(b);
    const std::uint32_t length = block_length(b);
    const bool is_read = b[10] == 1;
    const bool is_write = !is_read && (code == 2 || code == 4 || (!stm32() && code == 6));

    if (is_read) {
        pending_.wait = Wait::ReadData;
        if (length == 0 || length > kMaxPiece || !space_allows(code, true, address, length))
            core_.journal().refused("read outside its address space", code, address, length);
        else
            pending_.data = core_.read(address, length);
        return taken_reply(kBlockSize);
    }
    if (is_write) {
        if (length == 0 || length > kMaxPiece) {
            core_.journal().refused("write piece too long", code, address, length);
            pending_ = Pending{};
            return refused_reply();
        }
        pending_.wait = Wait::WriteData;
        return taken_reply(kBlockSize);
    }

    core_.journal().record(JournalEntry{EventKind::ControllerCommand, Flag::None, code, 0, 0, address, {}});
    if (!core_.accept_controller_command(code, address)) {
        pending_ = Pending{};
        return refused_reply();
    }
    if (!stm32() || code == ctl::kRestart) {
        pending_.wait = Wait::RepeatedBlock;
    } else {
        pending_.status = run_command(code, address);
        pending_.ack_lost = core_.lose_command_ack(code);
        pending_.wait = Wait::Reply;
    }
    return taken_reply(kBlockSize);
}

usbchannel::Reply ControllerFace::on_data(const usbchannel::Request& request, Clock::time_point now) {
    const auto& b = pending_.block;
    const std::uint8_t code = b[2];
    const std::uint32_t address = block_value(b);
    const std::uint32_t length = std::min<std::uint32_t>(block_length(b), static_cast<std::uint32_t>(request.input.size()));
    const std::span<const std::uint8_t> data(request.input.data(), length);

    std::uint16_t status = kReplyRefused;
    bool ack_lost = false;
    if (!space_allows(code, false, address, length)) {
        core_.journal().refused("write outside its address space", code, address, length);
    } else if (!stm32() && code == 4 && address % kMaxPiece != 0) {
        core_.journal().refused("flash write off a 64-byte boundary", code, address, length);
    } else {
        const WriteStatus written = core_.write(address, data, now);
        if (written == WriteStatus::Ok || written == WriteStatus::AckLost) status = kReplyDone;
        ack_lost = written == WriteStatus::AckLost;
    }
    if (stm32()) {
        pending_.wait = Wait::Reply;
        pending_.status = status;
        pending_.ack_lost = ack_lost;
    } else {
        pending_ = Pending{};
        if (ack_lost) return refused_reply();  // the H8SX has no reply: the data request itself fails
    }
    return taken_reply(request.input.size());
}

usbchannel::Reply ControllerFace::on_receive(const usbchannel::Request& request) {
    const Pending p = std::exchange(pending_, Pending{});
    if (p.wait == Wait::ReadData) {
        if (!p.data) return refused_reply();
        return data_reply(*p.data, request.output_capacity);
    }
    if (p.wait == Wait::Reply) {
        if (p.ack_lost) return refused_reply();
        std::vector<std::uint8_t> reply(kBlockSize, 0);
        store_u16(reply, p.status, ByteOrder::Little);
        std::copy(p.block.begin() + 2, p.block.begin() + 10, reply.begin() + 2);
        return data_reply(std::move(reply), request.output_capacity);
    }
    core_.journal().refused("receive with nothing to deliver", request.code, 0, request.output_capacity);
    return refused_reply();
}

std::uint16_t ControllerFace::run_command(std::uint8_t code, std::uint32_t value) {
    switch (code) {
        case ctl::kEnterUpdate: core_.enter_update_mode(); return kReplyDone;
        case ctl::kEraseSector: return core_.erase_sector(value) ? kReplyDone : kReplyRefused;
        case ctl::kRestart: core_.request_restart(); return kReplyDone;
        case ctl::kAccept: return kReplyDone;
        case 1: return kReplyDone;  // link check
        default:
            core_.journal().refused("unknown controller command", code, 0, 0);
            return kReplyRefused;
    }
}

}  // namespace tola::sim
