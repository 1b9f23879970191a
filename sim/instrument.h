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
#include "sim/structures_image.h"

namespace tola::sim {

class UsbFace;

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

    // Fault injection.
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

    // Inspection and factory set-up, outside the journal.
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
    };
    Outcome handle(const usbchannel::Request& request, Clock::time_point now);
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

private:
    usbchannel::Reply descriptor_reply(const usbchannel::Request& request);
    void wake() const;

    const InstrumentConfig config_;
    Journal journal_;
    mutable std::mutex mutex_;
    mutable std::condition_variable presence_changed_;
    FaultPlan faults_;
    std::unique_ptr<DeviceCore> core_;
    std::unique_ptr<UsbFace> face_;
    std::optional<Clock::time_point> silent_until_;
    std::uint64_t generation_ = 0;
    bool present_ = false;
    std::filesystem::path socket_path_;
    std::function<void()> wake_;
};

}  // namespace tola::sim
