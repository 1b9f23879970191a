#include "sim/boot_mode_face.h"

#include <algorithm>
#include <numeric>

namespace tola::sim {
namespace {

// Clock 1 offers ratios 4 and 2, clock 2 ratios 2 and 1.
constexpr std::array<std::uint8_t, 2> kClock1Ratios{4, 2};
constexpr std::array<std::uint8_t, 2> kClock2Ratios{2, 1};
constexpr std::string_view kProductName = "H8SX/1653";

void put_u32_be(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<std::uint8_t>(v >> s));
}

// Answer code, one size byte, the body, the sum.
std::vector<std::uint8_t> block(std::uint8_t code, const std::vector<std::uint8_t>& body) {
    std::vector<std::uint8_t> out(body.size() + 3, 0);
    out[0] = code;
    out[1] = static_cast<std::uint8_t>(body.size());
    std::copy(body.begin(), body.end(), out.begin() + 2);
    out.back() = boot_sum(std::span(out).first(out.size() - 1));
    return out;
}

std::vector<std::uint8_t> area_answer(std::uint8_t code, std::uint32_t start, std::uint32_t end) {
    std::vector<std::uint8_t> body{1};
    put_u32_be(body, start);
    put_u32_be(body, end);
    return block(code, body);
}

}  // namespace

std::uint8_t boot_sum(std::span<const std::uint8_t> bytes) {
    const unsigned total = std::accumulate(bytes.begin(), bytes.end(), 0u);
    return static_cast<std::uint8_t>(0x100 - (total & 0xFF));
}

void BootModeFace::reset() {
    answer_.reset();
    synced_ = device_selected_ = clock_selected_ = bit_rate_set_ = programming_ = false;
}

usbchannel::Reply BootModeFace::handle(const usbchannel::Request& request, FaultPlan&, Clock::time_point) {
    if (request.code == usbchannel::kSendBlock) {
        if (request.input.empty()) return refused_reply();
        core_.journal().record(JournalEntry{EventKind::BootMode, Flag::None, request.input[0], 0,
                                            static_cast<std::uint32_t>(request.input.size()), 0, {}});
        auto answer = step(request.input);
        if (answer.empty()) answer_.reset();
        else answer_ = std::move(answer);
        return taken_reply(request.input.size());
    }
    if (request.code == usbchannel::kReceive) {
        if (!answer_) return refused_reply();
        auto a = std::move(*answer_);
        answer_.reset();
        return data_reply(std::move(a), request.output_capacity);
    }
    return refused_reply();
}

std::vector<std::uint8_t> BootModeFace::selection(std::span<const std::uint8_t> in, std::uint8_t error_code,
                                                  bool (BootModeFace::*accept)(std::span<const std::uint8_t>)) {
    // code, size, data, sum
    if (in.size() < 3 || in.size() != static_cast<std::size_t>(in[1]) + 3u) return {error_code, 0x11};
    if (boot_sum(in.first(in.size() - 1)) != in.back()) return {error_code, 0x11};
    if (!(this->*accept)(in.subspan(2, in[1]))) return {error_code, 0x21};
    return {boot::kAck};
}

bool BootModeFace::accept_device(std::span<const std::uint8_t> data) {
    device_selected_ = data.size() == 4 && std::equal(data.begin(), data.end(), boot::kDeviceCode.begin());
    return device_selected_;
}

bool BootModeFace::accept_clock(std::span<const std::uint8_t> data) {
    clock_selected_ = device_selected_ && data.size() == 1 && data[0] <= 1;
    return clock_selected_;
}

bool BootModeFace::accept_bit_rate(std::span<const std::uint8_t> data) {
    // bit rate (2), input frequency (2), ratio count, one ratio per clock
    bit_rate_set_ = clock_selected_ && data.size() == 7 && data[4] == 2 &&
                    (data[5] == kClock1Ratios[0] || data[5] == kClock1Ratios[1]) &&
                    (data[6] == kClock1Ratios[0] || data[6] == kClock1Ratios[1]);
    return bit_rate_set_;
}

std::vector<std::uint8_t> BootModeFace::step(std::span<const std::uint8_t> in) {
    const std::uint8_t code = in[0];
    if (!synced_) {
        if (in.size() == 1 && code == boot::kSync) {
            synced_ = true;
            return {boot::kSyncAnswer};
        }
        return {};  // before the bit-rate match the instrument hears nothing
    }
    switch (code) {
        case boot::kSync: return {boot::kSyncAnswer};
        case boot::kDevices: {
            std::vector<std::uint8_t> body(boot::kDeviceCode.begin(), boot::kDeviceCode.end());
            body.insert(body.begin(), {1, static_cast<std::uint8_t>(4 + kProductName.size())});
            body.insert(body.end(), kProductName.begin(), kProductName.end());
            return block(0x30, body);
        }
        case boot::kSelectDevice: return selection(in, 0x90, &BootModeFace::accept_device);
        case boot::kClockModes: return block(0x31, {2, 0x00, 0x01});
        case boot::kSelectClock: return selection(in, 0x91, &BootModeFace::accept_clock);
        case boot::kRatios: {
            std::vector<std::uint8_t> body{2, static_cast<std::uint8_t>(kClock1Ratios.size())};
            body.insert(body.end(), kClock1Ratios.begin(), kClock1Ratios.end());
            body.push_back(static_cast<std::uint8_t>(kClock2Ratios.size()));
            body.insert(body.end(), kClock2Ratios.begin(), kClock2Ratios.end());
            return block(0x32, body);
        }
        case boot::kFrequencies:  // MHz x 100: 8.00..50.00 and 8.00..25.00
            return block(0x33, {2, 0x03, 0x20, 0x13, 0x88, 0x03, 0x20, 0x09, 0xC4});
        case boot::kUserBootArea: return area_answer(0x35, 0x00000000, 0x00003FFF);
        case boot::kUserArea: return area_answer(0x36, 0x00000000, 0x0005FFFF);
        case boot::kEraseBlocks: {
            // Size is two bytes here: the list outgrows one.
            std::vector<std::uint8_t> body{14};
            std::uint32_t start = 0;
            for (int i = 0; i < 14; ++i) {
                const std::uint32_t size = i < 8 ? 0x1000u : i == 8 ? 0x8000u : 0x10000u;
                put_u32_be(body, start);
                put_u32_be(body, start + size - 1);
                start += size;
            }
            std::vector<std::uint8_t> out(body.size() + 4, 0);
            out[0] = 0x37;
            out[1] = static_cast<std::uint8_t>(body.size() >> 8);
            out[2] = static_cast<std::uint8_t>(body.size());
            std::copy(body.begin(), body.end(), out.begin() + 3);
            out.back() = boot_sum(std::span(out).first(out.size() - 1));
            return out;
        }
        case boot::kBitRate: return selection(in, 0xBF, &BootModeFace::accept_bit_rate);
        case boot::kAck: return {boot::kAck};
        case boot::kProgramming:
            if (!bit_rate_set_) return {0xC0, 0x51};
            programming_ = true;
            return {boot::kAck};
        case boot::kStatus: {
            std::vector<std::uint8_t> out(64, 0);
            out[0] = boot::kStatusAnswer;
            out[1] = 61;
            out[2] = programming_ ? 0x1F : 0x11;  // waiting for a programming or an inquiry command
            out[3] = 0x00;                       // no error
            out[63] = boot_sum(std::span(out).first(63));
            return out;
        }
        default: return {static_cast<std::uint8_t>(code | 0x80), 0x30};
    }
}

}  // namespace tola::sim
