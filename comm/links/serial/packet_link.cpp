#include "comm/links/serial/packet_link.h"

#include "comm/api/library_state.h"
#include "comm/links/serial/codes.h"

#include <algorithm>
#include <array>

namespace tola::serial {
namespace {

bool is_identify_answer(std::uint8_t b) { return b == code::kMappedA || b == code::kMappedB; }

std::int32_t as_count(std::size_t n) { return static_cast<std::int32_t>(n); }

}  // namespace

PacketLink::PacketLink(ByteStream& stream, LinkState& state, const LinkProfile& profile, Timebase& time)
    : stream_(stream), state_(state), profile_(profile), time_(time) {}

bool PacketLink::link_open() {
    const PXM_COMM* c = valid_record();
    return c != nullptr && c->hRS232 != -1;
}

bool PacketLink::whole_buffer_writes() const {
    if (profile_.write_mode == WriteMode::AlwaysWhole) return true;
    const PXM_COMM* c = valid_record();
    return c != nullptr && (c->iDevice == TOLA_DEVICE_SERIAL_MAPPED_A || c->iDevice == TOLA_DEVICE_SERIAL_MAPPED_B);
}

void PacketLink::fail_with_platform_error() { report(classify(stream_.last_error())); }

bool PacketLink::write(const std::uint8_t* data, std::size_t length) {
    if (!link_open()) return false;
    std::size_t written = 0;
    bool halted = false;
    if (whole_buffer_writes()) {
        written = stream_.write(data, length);
        if (written < length) fail_with_platform_error();
    } else {
        // The classic instrument takes its bytes one at a time, and a halt may
        // come between any two of them.
        for (std::size_t i = 0; i < length; ++i) {
            if (stream_.write(data + i, 1) != 1) {
                fail_with_platform_error();
                break;
            }
            ++written;
            if (!progress_step(1)) {
                halted = true;
                break;
            }
        }
    }
    progress_step(0);
    if (written > 0) state_.last_write_tick = time_.now();
    return written == length && !halted;
}

std::size_t PacketLink::read(std::uint8_t* buffer, std::size_t wanted, std::uint32_t idle_ms) {
    stream_failed_ = false;
    if (!link_open()) return 0;
    std::size_t got = 0;
    std::uint32_t window_start = time_.now();
    for (;;) {
        const std::ptrdiff_t n = stream_.read(buffer + got, wanted - got);
        if (n < 0) {
            stream_failed_ = true;
            fail_with_platform_error();
            break;
        }
        if (n > 0) {
            got += static_cast<std::size_t>(n);
            window_start = time_.now();
        }
        if (!progress_step(as_count(static_cast<std::size_t>(n)))) return 0;
        if (got >= wanted || idle_ms == 0 || time_.since(window_start) >= idle_ms) break;
        time_.poll(poll_step(time_.since(window_start)));
    }
    if (got > 0) state_.last_read_tick = time_.now();
    return got;
}

std::size_t PacketLink::drain(std::uint32_t window_ms) {
    std::array<std::uint8_t, kDrainChunk> discard;
    std::size_t total = 0;
    for (;;) {
        const std::size_t n = read(discard.data(), discard.size(), window_ms);
        total += n;
        if (n < discard.size()) return total;
    }
}

bool PacketLink::send_code(std::uint8_t code) { return write(&code, 1); }

bool PacketLink::wait_ack(std::uint8_t awaited, std::uint32_t timeout_ms) {
    if (!link_open()) return false;
    const std::uint32_t start = time_.now();
    for (;;) {
        std::uint8_t b = 0;
        if (read(&b, 1, 0) == 1) {
            if (b == awaited || (awaited == code::kNop && is_identify_answer(b))) return true;
            if (b == 0) return false;
            // An instrument that answers a link check late must not spoil the
            // next exchange where the transport allows for it.
            if (!(profile_.skip_stray_identify_answers && is_identify_answer(b))) {
                report(refusal_error(b));
                return false;
            }
        } else if (stop_requested() || stream_failed_) {
            return false;
        }
        if (time_.since(start) >= timeout_ms) {
            report(LinkError::NoAcknowledge);
            return false;
        }
        time_.poll(poll_step(time_.since(start)));
    }
}

bool PacketLink::send_command(std::uint8_t code) { return send_code(code) && wait_ack(code, kCommandAckMs); }

bool PacketLink::send_packet(std::uint8_t code, std::uint8_t total, std::uint8_t number, const std::uint8_t* data,
                             std::size_t length, bool wait_for_ack, std::uint32_t timeout_ms) {
    if (length > kMaxPacketData) return false;
    const Header header = make_header(code, total, number, data, length);
    if (!write(header.data(), header.size())) return false;
    // The instrument sets up its receive buffer from the header before data comes.
    time_.sleep(kHeaderToDataMs);
    if (length > 0 && !write(data, length)) return false;
    return !wait_for_ack || wait_ack(code, timeout_ms);
}

bool PacketLink::send_block(std::uint8_t code, const std::uint8_t* data, std::size_t length) {
    if (length > kMaxBlockLength || !send_command(code)) return false;
    const auto total = static_cast<std::uint8_t>(packet_count(length));
    for (std::size_t i = 0; i < total; ++i) {
        const std::size_t offset = i * kMaxPacketData;
        const std::size_t piece = std::min(kMaxPacketData, length - offset);
        if (!send_packet(code, total, static_cast<std::uint8_t>(i + 1), data + offset, piece, true, kPacketAckMs))
            return false;
        time_.sleep(kAfterPacketMs);
    }
    return true;
}

bool PacketLink::receive_packet(std::uint8_t code, Header& header, std::uint8_t* buffer, std::size_t capacity,
                                std::size_t& length) {
    header.fill(0);
    length = 0;
    if (!link_open()) return false;
    // With code 0 the caller has read the code byte already.
    const std::size_t skip = code != 0 ? 0 : 1;
    const std::size_t wanted = kHeaderSize - skip;
    if (read(header.data() + skip, wanted, kHeaderWindowMs) < wanted)
        return stop_requested() ? false : refuse(code::kNackTimeout);
    if (code != 0 && header[0] != code) return refuse(code::kNackWrongCommand);
    const std::size_t announced = header_length(header);
    if (announced > capacity) return refuse(code::kNackPacketLength);
    if (read(buffer, announced, kDataWindowMs) < announced)
        return stop_requested() ? false : refuse(code::kNackPacketLength);
    const Checks checks = checks_of(buffer, announced);
    if (checks.sum != header_sum(header)) return refuse(code::kNackChecksum);
    if (checks.parity != header_parity(header)) return refuse(code::kNackParity);
    length = announced;
    return true;
}

bool PacketLink::receive_block(std::uint8_t code, std::uint8_t* buffer, std::size_t length, bool code_consumed) {
    Header header{};
    std::size_t piece = 0;
    if (!receive_packet(code_consumed ? 0 : code, header, buffer, length, piece)) return false;
    const std::size_t total = header_total(header);
    std::uint8_t number = header_number(header);
    if (number != 1) return refuse(code::kNackPacketNumber);
    std::size_t got = piece;
    std::size_t packets = 1;
    if (!progress_step(as_count(piece))) return false;
    while (got < length && packets < total) {
        // The code byte asks the instrument for the next packet.
        if (!send_code(code)) return false;
        if (!receive_packet(code, header, buffer + got, length - got, piece)) return false;
        if (header_number(header) != static_cast<std::uint8_t>(number + 1)) return refuse(code::kNackPacketNumber);
        number = header_number(header);
        got += piece;
        ++packets;
        if (!progress_step(as_count(piece))) return false;
    }
    if (got == length && packets == total) return send_code(code);
    if (got == length) return refuse(code::kNackNumPackets);
    return refuse(code::kNackTransferLength);
}

bool PacketLink::refuse(std::uint8_t refusal) {
    send_code(refusal);
    report(refusal_error(refusal));
    return false;
}

std::uint32_t PacketLink::poll_step(std::uint32_t waited_ms) const {
    return waited_ms < profile_.quick_poll_window_ms ? profile_.quick_poll_ms : kPollMs;
}

void PacketLink::pace() {
    if (!state_.last_write_tick) return;
    const std::uint32_t elapsed = time_.since(*state_.last_write_tick);
    if (elapsed < kPacingMs) time_.sleep(kPacingMs - elapsed);
}

std::uint8_t PacketLink::link_check() {
    PXM_COMM* c = valid_record();
    if (c == nullptr || c->hRS232 == -1) return 0;
    if (state_.link_check_busy) {
        state_.link_check_busy = false;
        return 0;
    }
    state_.link_check_busy = true;
    c->ssStatus[0] = '\0';
    pace();
    const bool echo = profile_.echo_live_data_applies && state_.echo_live_data;
    if (echo) {
        // Live data would bury the answer: stop it for the check.
        send_code(code::kEchoDataOff);
        drain(kDrainWindowMs);
    }
    std::uint8_t answer = 0;
    if (send_code(code::kNop)) {
        std::uint8_t b = 0;
        if (read(&b, 1, profile_.link_check_window_ms) == 1) {
            if (b == code::kNop || is_identify_answer(b))
                answer = b;
            else if (b != 0)
                report(refusal_error(b));
        } else if (!stop_requested() && !stream_failed_) {
            report(LinkError::NoAcknowledge);
        }
    }
    if (echo) {
        time_.sleep(kPacingMs);
        send_code(code::kEchoLiveData);
    }
    state_.link_check_busy = false;
    return answer;
}

void PacketLink::mark_alive() {
    state_.missed_answers = 0;
    state_.check_pending = false;
    state_.last_check_tick = time_.now();
}

bool PacketLink::keep_alive() {
    if (state_.last_read_tick && time_.since(*state_.last_read_tick) < profile_.keep_alive_interval_ms) {
        mark_alive();
        return true;
    }
    if (!state_.check_pending) {
        if (!state_.last_check_tick || time_.since(*state_.last_check_tick) >= profile_.keep_alive_interval_ms) {
            send_code(code::kNop);
            state_.last_check_tick = time_.now();
            state_.check_pending = true;
        }
        return true;
    }
    if (wait_ack(code::kNop, profile_.keep_alive_answer_ms)) {
        mark_alive();
        return true;
    }
    // Only a success resets the count.
    ++state_.missed_answers;
    if (state_.missed_answers < profile_.missed_answers_until_lost) {
        state_.last_check_tick = time_.now();
        return true;
    }
    state_.check_pending = false;
    return false;
}

void PacketLink::complete_pending_check() {
    if (!state_.check_pending) return;
    if (wait_ack(code::kNop, kPendingCheckMs)) mark_alive();
    state_.check_pending = false;
}

}  // namespace tola::serial
