// One virtual instrument: its configuration, its device core behind the USB face
// of its kind, its journal and its faults.  Every public member may be called from
// any thread; the simulator's serving thread calls the serving members.
#pragma once

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "comm/platform/usb_channel_frame.h"
#include "sim/device_core.h"
#include "sim/faults.h"
#include "sim/instrument_config.h"
#include "sim/journal.h"
#include "sim/packet_peer.h"
#include "sim/structures_image.h"

namespace tola::sim {

class UsbFace;
class LinkHandler;
class InstrumentStore;

class Instrument {
public:
    explicit Instrument(InstrumentConfig config);
    ~Instrument();
    Instrument(const Instrument&) = delete;
    Instrument& operator=(const Instrument&) = delete;

    const InstrumentConfig& config() const { return config_; }
    Journal& journal() { return journal_; }
    const Journal& journal() const { return journal_; }

    // Where its USB face is (set when a simulator hosts it).
    std::filesystem::path socket_path() const;

    // Serial and Bluetooth faces (kinds 2, 8, 9 and 10, 11), set when a simulator
    // hosts the instrument: the pseudo-terminal a host opens as its serial port,
    // and the Bluetooth address and name the client stand-in finds it by.
    std::filesystem::path serial_path() const;
    std::string bt_address() const { return config_.bt_address; }
    std::string bt_name() const { return config_.bluetooth_name(); }
    std::filesystem::path bt_socket_path() const;

    // Fault injection.  Line faults of the serial and Bluetooth faces are taken
    // as text too (bad-sum, bad-xor, bad-number, short-block, extra-packet, mute,
    // stray=BYTE, nack=CODE:REFUSAL, drop-link; see packet_peer.h).
    bool inject(std::string_view fault, std::string* error = nullptr);
    void refuse_next(std::uint32_t control_code, int count = 1);
    void truncate_next_reply(std::size_t keep_bytes);
    void corrupt_next_reply(std::size_t byte_index = 0);
    void answer_status_with(std::uint8_t status_byte, int count = 1);
    void answer_erase_with(std::uint8_t status_byte1);
    void answer_descriptor_with(std::size_t length);
    void stay_silent(int requests = 1, std::chrono::milliseconds close_after = std::chrono::seconds(2));
    void silence_after_next_restart(std::chrono::milliseconds silence);
    void unplug();
    void replug();
    void clear_faults();

    // The user at the instrument: a trigger press starts a colour measurement; a
    // request to send the current queue entry again reports it with the echo flag
    // (false when the queue is empty).
    void press_trigger();
    bool send_again();

    // Inspection and factory set-up, outside the journal.
    // Classic instrument on its serial port: sends a data message of its own
    // (code, then one packet of data) when the line is next idle.  False for
    // other kinds.
    bool send_message(std::uint8_t code, std::vector<std::uint8_t> data);

    std::optional<std::vector<std::uint8_t>> peek(std::uint32_t address, std::uint32_t length) const;
    bool poke(std::uint32_t address, std::span<const std::uint8_t> data);
    StructureLayout layout() const;
    std::string firmware() const;
    bool in_update_mode() const;

    // Presence of the socket, as the serving thread last made it.
    bool present() const;
    bool wait_until_present(bool present, std::chrono::milliseconds timeout) const;

    // --- serving side ---
    struct Outcome {
        bool answer = true;  // false: take the request and never answer
        usbchannel::Reply reply;
        Clock::duration delay{};  // the reply leaves this much later (an erase keeps the instrument busy)
    };
    // `connection` numbers the channel connection the request came on (0: not
    // known); the journal keeps it, so that whose exchange a request belongs to
    // can be told afterwards.
    Outcome handle(const usbchannel::Request& request, Clock::time_point now, std::uint32_t connection = 0);
    void connection_opened();
    std::optional<Clock::time_point> next_deadline() const;
    void tick(Clock::time_point now);
    bool wants_socket(Clock::time_point now) const;
    // Changes every time the instrument restarts: the old connections are gone.
    std::uint64_t generation() const;
    std::chrono::milliseconds silent_close_after() const;
    void set_present(bool present);
    void set_socket_path(std::filesystem::path path);
    void set_waker(std::function<void()> wake);

    // --- serving side of the serial and Bluetooth faces ---
    struct LinkOutput {
        std::vector<std::uint8_t> bytes;
        bool drop = false;  // the link goes down (a Bluetooth connection closes)
    };
    LinkOutput link_receive(std::span<const std::uint8_t> bytes, Clock::time_point now);
    LinkOutput link_tick(Clock::time_point now);
    std::optional<Clock::time_point> link_deadline() const;
    // A new connection (or a host that opened the port afresh): no exchange in progress.
    void link_opened();
    void set_serial_path(std::filesystem::path path);
    void set_bt_socket_path(std::filesystem::path path);

private:
    usbchannel::Reply descriptor_reply(const usbchannel::Request& request);
    bool link_deaf(Clock::time_point now) const;
    void after_link_exchange(Clock::time_point now, LinkOutput& out);
    void wake() const;

    const InstrumentConfig config_;
    Journal journal_;
    mutable std::mutex mutex_;
    mutable std::condition_variable presence_changed_;
    FaultPlan faults_;
    std::unique_ptr<DeviceCore> core_;
    std::unique_ptr<InstrumentStore> store_;
    std::unique_ptr<UsbFace> face_;
    std::optional<Clock::time_point> silent_until_;
    Clock::time_point busy_until_{};  // an erase under way: requests wait for it
    std::uint64_t generation_ = 0;
    bool present_ = false;
    std::filesystem::path socket_path_;
    std::function<void()> wake_;
    LinkFaults link_faults_;
    std::unique_ptr<LinkHandler> link_face_;
    std::unique_ptr<PacketPeer> peer_;
    bool line_dead_ = false;  // a serial line taken down by a fault, until replugged
    std::filesystem::path serial_path_;
    std::filesystem::path bt_socket_path_;
};

}  // namespace tola::sim
