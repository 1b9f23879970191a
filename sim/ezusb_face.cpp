#include "sim/ezusb_face.h"

#include <utility>

#include "sim/byte_order.h"

namespace tola::sim {
namespace {
constexpr std::uint32_t kMaxPiece = 64;
}

void EzusbFace::reset() {
    reset_pending_ = false;
    status_.reset();
    read_data_.reset();
    write_.reset();
}

usbchannel::Reply EzusbFace::handle(const usbchannel::Request& request, FaultPlan& faults, Clock::time_point now) {
    if (request.input.size() < 4) return refused_reply();
    const std::uint32_t pipe = load_u32(request.input, ByteOrder::Little);
    if (request.code == usbchannel::kBulkWrite) {
        if (pipe == ez::kCommandPipe) return on_command(request.output_payload, faults);
        if (pipe == ez::kDataOutPipe) return on_data_out(request.output_payload, now);
    } else if (request.code == usbchannel::kBulkRead) {
        if (pipe == ez::kStatusPipe) return on_status(request, faults);
        if (pipe == ez::kDataInPipe) return on_data_in(request);
    }
    return refused_reply();
}

usbchannel::Reply EzusbFace::on_command(std::span<const std::uint8_t> cmd, FaultPlan& faults) {
    if (cmd.empty()) return refused_reply();
    read_data_.reset();
    write_.reset();
    status_.reset();
    reset_pending_ = false;
    const std::uint8_t op = cmd[0];
    const bool addressed = op == ez::kRead || op == ez::kWrite;
    if (addressed && cmd.size() < 6) {
        set_status(ez::kInvalid);
        return taken_reply(cmd.size());
    }
    const std::uint32_t address = addressed ? load_u32(cmd.subspan(1, 4), ByteOrder::Big) : 0;
    const std::uint32_t length = addressed ? cmd[5] : 0;

    switch (op) {
        case ez::kRead:
            if (length == 0 || length > kMaxPiece || !core_.memory().start_mapped(address)) {
                core_.journal().refused("read out of range", op, address, length);
                set_status(ez::kAccessError);
            } else if (auto data = core_.read(address, length)) {
                read_data_ = std::move(*data);
                set_status(ez::kRead);
            } else {
                set_status(ez::kAccessError);
            }
            break;
        case ez::kWrite:
            // The status follows the data on pipe 3.
            write_ = PendingWrite{address, length};
            break;
        case ez::kErase: {
            const std::uint8_t index = cmd.size() > 1 ? cmd[1] : 0;
            core_.journal().record(JournalEntry{EventKind::ControllerCommand, Flag::None, op, 0, 0, index, {}});
            if (auto forced = faults.take_erase_status()) {
                set_status(ez::kErase, *forced);
                break;
            }
            set_status(ez::kErase, core_.erase_sector(index) ? 0 : ez::kEraseFailed);
            break;
        }
        case ez::kJump:
            core_.journal().record(JournalEntry{EventKind::ControllerCommand, Flag::None, op, 0, 0, 0, {}});
            set_status(loader_written_ ? ez::kJump : ez::kInvalid);
            break;
        case ez::kReset:
            core_.journal().record(JournalEntry{EventKind::ControllerCommand, Flag::None, op, 0, 0, 0, {}});
            set_status(ez::kReset);
            reset_pending_ = true;  // once the host has its status
            break;
        default:
            core_.journal().refused("unknown command", op, 0, 0);
            set_status(ez::kInvalid);
            break;
    }
    return taken_reply(cmd.size());
}

usbchannel::Reply EzusbFace::on_data_out(std::span<const std::uint8_t> data, Clock::time_point now) {
    if (!write_) {
        core_.journal().refused("data without a write command", usbchannel::kBulkWrite, 0,
                                static_cast<std::uint32_t>(data.size()));
        return refused_reply();
    }
    const PendingWrite w = *write_;
    write_.reset();
    const auto n = std::min<std::uint32_t>(w.length, static_cast<std::uint32_t>(data.size()));
    const bool valid = w.length > 0 && w.length <= kMaxPiece && core_.memory().start_mapped(w.address);
    if (valid && core_.write(w.address, data.first(n), now) == WriteStatus::Ok) {
        if (w.address <= ez::kLoaderStart && ez::kLoaderStart < w.address + n) loader_written_ = true;
        set_status(ez::kWrite);
    } else {
        if (!valid) core_.journal().refused("write out of range", ez::kWrite, w.address, w.length);
        set_status(ez::kAccessError);
    }
    return taken_reply(data.size());
}

usbchannel::Reply EzusbFace::on_status(const usbchannel::Request& request, FaultPlan& faults) {
    if (!status_) return refused_reply();
    auto status = *status_;
    status_.reset();
    if (auto forced = faults.take_status_override()) status[0] = *forced;
    if (std::exchange(reset_pending_, false)) core_.request_restart();
    return data_reply(std::vector<std::uint8_t>(status.begin(), status.end()), request.output_capacity);
}

usbchannel::Reply EzusbFace::on_data_in(const usbchannel::Request& request) {
    if (!read_data_) return refused_reply();
    auto data = std::move(*read_data_);
    read_data_.reset();
    return data_reply(std::move(data), request.output_capacity);
}

}  // namespace tola::sim
