// What the instrument says on its byte-stream links, on top of the packet
// protocol of packet_peer.h.
//
// Memory-mapped generation (serial kinds 8, 9; Bluetooth kinds 10, 11): the link
// check is answered with 230 or 231; memory is read and written by window, each
// request a block of 8 bytes (address, length; LE32 each) with the request's
// code, then the data as a block with the same code:
//
//   serial     RAM 0x20000000-0x2000FFFF 51/52, flash 0x08000000-0x080FFFFF 53/54,
//              peripherals 0x40000000-0x5003FFFF 55/56
//   Bluetooth  RAM 0x20000000-0x2001FFFF, peripherals 0x40000000-0xBFFFFFFF and
//              system control 0xE000E010-0xE000EF03 51/52, flash 53/54 as on serial
//
// Controller commands: 59 is a block (value, 4) that erases the sector named by
// the value.  On serial 60 (leave update mode and restart), 61 (enter update
// mode) and 62 are single code bytes; over Bluetooth they are blocks carrying
// 0x0A3E5C71 and 4, and a block of 8 zero bytes under code 1 is taken and ignored.
// A request outside its windows or one the memory refuses is answered 201.
//
// Classic instrument (kind 2): answers the link check with 1 and sends its
// structures as data messages after the download commands 30..41 (41: the
// three newest results entries, newest first); takes its sample-rate and bias
// parameters with 142 and display items 128..132 as blocks; code 4 starts the
// live-data echo (message 176 every 250 ms) until 6.  Echoes it sends on its own:
// after a measurement the measurement details (155, code 9 until 10) and the
// results (162, code 26 until 27) as blocks; a trigger press as a switches packet
// (172: two bytes, high first, bit 0 the trigger; code 11 until 12); a lamp or
// shutter change (codes 19-22) as a lamp packet (173: one byte, bit 0 lamp, bit 1
// shutter; code 15 until 16).
// Data messages queued by hand (send_message) go out first, as one packet each.
#pragma once

#include <array>
#include <deque>
#include <optional>

#include "sim/packet_peer.h"

namespace tola::sim {

class MemoryLinkFace final : public LinkHandler {
public:
    // identity: 230 or 231, the answer to the link check.
    MemoryLinkFace(DeviceCore& core, bool bluetooth, std::uint8_t identity)
        : core_(core), bluetooth_(bluetooth), identity_(identity) {}

    CodeAction on_code(std::uint8_t code, Clock::time_point now) override;
    BlockAction on_block(std::uint8_t code, std::vector<std::uint8_t> data, Clock::time_point now) override;
    void reset() override { pending_write_.reset(); }

    struct Window {
        std::uint32_t first;
        std::uint32_t last;
        std::uint8_t read_code;
        std::uint8_t write_code;
    };
    // The window that admits [address, address + length) under the code, if any.
    static std::optional<Window> window_for(bool bluetooth, std::uint8_t code, std::uint32_t address,
                                            std::uint32_t length);

private:
    struct PendingWrite {
        std::uint8_t code;
        std::uint32_t address;
        std::uint32_t length;
    };
    BlockAction controller_block(std::uint8_t code, std::span<const std::uint8_t> data);

    DeviceCore& core_;
    const bool bluetooth_;
    const std::uint8_t identity_;
    std::optional<PendingWrite> pending_write_;
};

class ClassicLinkFace final : public LinkHandler {
public:
    static constexpr auto kLivePeriod = std::chrono::milliseconds(250);
    static constexpr std::size_t kParameterBytes = 10;

    explicit ClassicLinkFace(DeviceCore& core);

    CodeAction on_code(std::uint8_t code, Clock::time_point now) override;
    BlockAction on_block(std::uint8_t code, std::vector<std::uint8_t> data, Clock::time_point now) override;
    std::optional<OutgoingBlock> unsolicited(Clock::time_point now) override;
    std::optional<Clock::time_point> next_unsolicited() const override;
    void reset() override;

    const std::array<std::uint8_t, kParameterBytes>& parameters() const { return parameters_; }

    // A data message (a switch or lamp report, a live-data packet, ...) that the
    // instrument sends on its own as one packet when the line is next idle.
    void queue_message(OutgoingBlock message) { queued_.push_back(std::move(message)); }

private:
    struct Echoes {
        bool measurement = false, results = false, switches = false, lamp = false;
    };
    std::vector<std::uint8_t> structure(std::size_t table_word, std::uint32_t offset, std::uint32_t size);
    std::vector<std::uint8_t> message_data(std::uint8_t download);
    std::vector<std::uint8_t> newest_results();
    void collect_echoes();
    bool news() const;

    DeviceCore& core_;
    std::array<std::uint8_t, kParameterBytes> parameters_{};
    std::optional<Clock::time_point> next_live_;
    Echoes echo_;
    std::deque<OutgoingBlock> pending_;
    std::uint32_t seen_measurements_ = 0;
    std::uint32_t seen_presses_ = 0;
    std::deque<OutgoingBlock> queued_;
};

// The data message that answers a classic download command (30..41), 0 for none.
std::uint8_t classic_message_for(std::uint8_t download);

}  // namespace tola::sim
