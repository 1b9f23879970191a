#include "comm/links/usb/boot_mode.h"

#include "comm/api/library_state.h"
#include "comm/links/usb/usb_device.h"
#include "comm/links/usb/usb_state.h"
#include "comm/platform/usb_channel_frame.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <initializer_list>
#include <vector>

namespace tola::usb {
namespace {

constexpr std::uint8_t kAck = 0x06;
constexpr std::size_t kMaxAnswer = 128;

using Answer = std::vector<std::uint8_t>;

// Appends the sum byte that makes the block add up to 0 modulo 256.
std::vector<std::uint8_t> with_sum(std::initializer_list<std::uint8_t> bytes) {
    std::vector<std::uint8_t> block(bytes);
    std::uint8_t sum = 0;
    for (std::uint8_t b : block) sum = static_cast<std::uint8_t>(sum + b);
    block.push_back(static_cast<std::uint8_t>(0x100 - sum));
    return block;
}

// Sends a block and receives up to `answer_size` bytes; nothing when refused.
bool exchange(std::span<const std::uint8_t> block, std::size_t answer_size, Answer& answer) {
    const Transfer sent = ioctl(usbchannel::kSendBlock, block, {});
    if (!sent.ok) return false;
    answer.assign(answer_size, 0);
    const Transfer got = ioctl(usbchannel::kReceive, {}, answer);
    if (!got.ok) return false;
    answer.resize(std::min<std::size_t>(got.bytes, answer_size));
    return !answer.empty();
}

bool step(std::vector<std::uint8_t> block, std::size_t answer_size, std::uint8_t expected, Answer& answer) {
    return exchange(block, answer_size, answer) && answer[0] == expected;
}

std::uint8_t at(const Answer& a, std::size_t i) { return i < a.size() ? a[i] : 0; }

std::uint32_t be32(const Answer& a, std::size_t i) {
    return static_cast<std::uint32_t>(at(a, i)) << 24 | static_cast<std::uint32_t>(at(a, i + 1)) << 16 |
           static_cast<std::uint32_t>(at(a, i + 2)) << 8 | at(a, i + 3);
}

// Answer layout of the inquiries: code, size, count, then the entries.
void keep_areas(const Answer& a, std::span<std::array<std::uint32_t, 2>> areas) {
    const std::size_t count = std::min<std::size_t>(at(a, 2), areas.size());
    for (std::size_t i = 0; i < count; ++i) areas[i] = {be32(a, 3 + 8 * i), be32(a, 7 + 8 * i)};
}

bool fail(ControllerError e) {
    usb_state().controller_error = e;
    return false;
}

}  // namespace

bool boot_mode_handshake() {
    UsbState& state = usb_state();
    state.controller_error = ControllerError::None;
    const PXM_COMM* c = valid_record();
    if (c == nullptr || c->hUSB == -1) return fail(ControllerError::HandshakeNoHandle);
    BootModeAnswers& boot = state.boot;
    boot = BootModeAnswers{};
    Answer a;

    if (!step({0x55}, 1, 0xE6, a)) return fail(ControllerError::HandshakeFailed);

    // Supported devices: keep the first entry's code and name.
    if (!step({0x20}, kMaxAnswer, 0x30, a)) return fail(ControllerError::HandshakeFailed);
    const std::size_t name_chars = at(a, 3) >= 4 ? at(a, 3) - 4u : 0u;
    for (std::size_t i = 0; i < 4; ++i) boot.device_code[i] = at(a, 4 + i);
    for (std::size_t i = 0; i < std::min(name_chars, boot.device_name.size() - 1); ++i)
        boot.device_name[i] = static_cast<char>(at(a, 8 + i));

    const auto& d = boot.device_code;
    if (!step(with_sum({0x10, 4, d[0], d[1], d[2], d[3]}), 1, kAck, a)) return fail(ControllerError::HandshakeFailed);

    if (!step({0x21}, kMaxAnswer, 0x31, a)) return fail(ControllerError::HandshakeFailed);
    boot.clock_mode_count = static_cast<std::uint8_t>(std::min<std::size_t>(at(a, 2), boot.clock_modes.size()));
    for (std::size_t i = 0; i < boot.clock_mode_count; ++i) boot.clock_modes[i] = at(a, 3 + i);

    if (!step(with_sum({0x11, 1, boot.clock_modes[0]}), 2, kAck, a)) return fail(ControllerError::HandshakeFailed);

    // Multiplication ratios: per clock a count and that many ratios.
    if (!step({0x22}, kMaxAnswer, 0x32, a)) return fail(ControllerError::HandshakeFailed);
    {
        std::size_t pos = 3;
        const std::size_t clocks = std::min<std::size_t>(at(a, 2), boot.ratios.size());
        for (std::size_t k = 0; k < clocks; ++k) {
            const std::size_t n = std::min<std::size_t>(at(a, pos), boot.ratios[k].size());
            boot.ratio_counts[k] = static_cast<std::uint8_t>(n);
            for (std::size_t i = 0; i < n; ++i) boot.ratios[k][i] = at(a, pos + 1 + i);
            pos += 1 + at(a, pos);
        }
    }

    // Operating frequencies: per clock a (minimum, maximum) pair of 16-bit values.
    if (!step({0x23}, kMaxAnswer, 0x33, a)) return fail(ControllerError::HandshakeFailed);
    for (std::size_t k = 0; k < std::min<std::size_t>(at(a, 2), boot.frequencies.size()); ++k) {
        boot.frequencies[k] = {static_cast<std::uint16_t>(at(a, 3 + 4 * k) << 8 | at(a, 4 + 4 * k)),
                               static_cast<std::uint16_t>(at(a, 5 + 4 * k) << 8 | at(a, 6 + 4 * k))};
    }

    if (!step({0x25}, kMaxAnswer, 0x35, a)) return fail(ControllerError::HandshakeFailed);
    keep_areas(a, boot.user_boot_areas);
    if (!step({0x26}, kMaxAnswer, 0x36, a)) return fail(ControllerError::HandshakeFailed);
    keep_areas(a, boot.user_areas);
    if (!step({0x27}, kMaxAnswer, 0x37, a)) return fail(ControllerError::HandshakeFailed);
    boot.erase_blocks = static_cast<std::uint16_t>(at(a, 2) << 8 | at(a, 3));

    // New bit rate: input frequency field 0x04B0 and the first clock's ratios.
    const auto& r = boot.ratios[0];
    if (!step(with_sum({0x3F, 7, 0x00, 0x00, 0x04, 0xB0, boot.ratio_counts[0], r[1], r[0]}), 1, kAck, a))
        return fail(ControllerError::HandshakeFailed);

    // Confirmation: a wrong answer is recorded, the handshake goes on.
    if (!exchange(std::vector<std::uint8_t>{kAck}, 1, a) || a[0] != kAck)
        state.controller_error = ControllerError::HandshakeFailed;

    if (!step({0x40}, 1, kAck, a)) return fail(ControllerError::HandshakeFailed);

    if (!exchange(std::vector<std::uint8_t>{0x4F}, 64, a)) return fail(ControllerError::BootStatusNotAnswered);
    if (a[0] != 0x5F) return fail(ControllerError::BootStatusWrongAnswer);
    std::copy(a.begin(), a.end(), boot.boot_status.begin());
    return state.controller_error == ControllerError::None;
}

}  // namespace tola::usb
