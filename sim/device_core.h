// The instrument behind its USB face: memory map, flash, structures, host command
// block, boot-loader state and restart.  Not locked: the owning Instrument
// serialises every call.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/boot_loader_faults.h"
#include "sim/host_block.h"
#include "sim/host_layout.h"
#include "sim/instrument_config.h"
#include "sim/journal.h"
#include "sim/measurement_queue.h"
#include "sim/memory_map.h"
#include "sim/structures_image.h"

namespace tola::sim {

using Clock = std::chrono::steady_clock;

enum class WriteStatus { Ok, OutOfRange, Refused };

class DeviceCore {
public:
    DeviceCore(InstrumentConfig config, Journal& journal);

    const InstrumentConfig& config() const { return config_; }
    Journal& journal() { return journal_; }
    MemoryMap& memory() { return memory_; }
    const MemoryMap& memory() const { return memory_; }
    const StructureLayout& layout() const { return layout_; }
    const std::string& firmware() const { return firmware_; }
    bool update_mode() const { return update_mode_; }

    // Accesses as a host makes them: journalled, with flash rules applied.
    std::optional<std::vector<std::uint8_t>> read(std::uint32_t address, std::uint32_t length);
    WriteStatus write(std::uint32_t address, std::span<const std::uint8_t> data, Clock::time_point now);
    bool erase_sector(std::uint32_t index);
    // Erases done since the last call (each keeps the instrument busy a while).
    int take_erases();

    // Boot-loader commands.  A face asks first whether a command is taken: a
    // command fault refuses it (and journals the refusal).
    bool accept_controller_command(std::uint32_t command, std::uint32_t value);
    BootLoaderFaults& boot_faults() { return boot_faults_; }
    void enter_update_mode();
    void request_restart() { restart_requested_ = true; }
    bool take_restart_request();
    // Starts again from what flash holds; returns the firmware now running.
    void restart();

    // Host command completion, measurements under way and periodic trigger presses.
    std::optional<Clock::time_point> next_deadline() const;
    void tick(Clock::time_point now);
    const MeasurementQueue& queue() const { return queue_; }

    // The user presses the trigger: a colour measurement starts (unless one is
    // under way).  The user asks the instrument to send its current queue entry
    // again: it is reported with the echo flag.
    void press_trigger(Clock::time_point now);
    bool echo_current();

    // What the byte-stream faces report on their own.
    std::uint32_t measurements_taken() const { return measurements_taken_; }
    std::uint32_t trigger_presses() const { return trigger_presses_; }
    // First generation: the results entry that holds the newest measurement.
    std::size_t newest_classic_entry() const { return newest_classic_entry_; }
    // The lamp and shutter bits the instrument reports.
    std::uint32_t lamp_bits() const { return status_[hw::kLamp]; }
    void set_lamp_bits(std::uint32_t bits);

private:
    void build_memory_map();
    void load_factory_flash();
    void load_structures(bool keep_settings, bool keep_flash);
    void host_block_written(Clock::time_point now);
    void run_host_command(Clock::time_point now);
    void carry_out(const HostCommandEffect& effect, const HostWords& words, Clock::time_point now);
    void start_measurement(Clock::time_point now, bool calibrate, std::uint32_t command);
    void finish_measurement();
    MeasurementSample next_sample();
    std::size_t place_classic_entry(const MeasurementSample& m);
    void data_changed();
    void publish_status();
    void note(std::uint32_t command, std::uint32_t value, std::string text);
    std::string display_text() const;
    std::optional<Placement> ram_placement(std::size_t table_word) const;

    InstrumentConfig config_;
    Journal& journal_;
    MemoryMap memory_;
    StructureLayout layout_;
    std::string firmware_;
    std::string firmware_date_;
    bool update_mode_ = false;
    bool restart_requested_ = false;
    int erases_ = 0;
    std::optional<Clock::time_point> host_due_;

    // The firmware's own status (state, lamp bits, queue, bias, command time and
    // event flags, by host-word role): a host writes whole blocks, so the status
    // words it sends are not taken over; the firmware puts its own back.
    HostLayout host_layout_;
    HostWords status_{};
    MeasurementQueue queue_;
    std::uint32_t measurements_taken_ = 0;
    std::optional<Clock::time_point> measure_due_;
    bool calibrating_ = false;
    std::uint32_t sequence_ = 0;   // position in the rotation of kinds
    int area_step_ = 0;            // next area of a tooth area under way
    std::uint32_t trigger_presses_ = 0;
    std::optional<Clock::time_point> next_trigger_;
    std::size_t newest_classic_entry_ = 0;
    std::uint32_t classic_entries_written_ = 0;
    std::uint32_t data_changes_ = 0;

    BootLoaderFaults boot_faults_;
    // The identity block as the firmware last stored it permanently (state 53),
    // and the firmware that stored it: a restart of the same firmware keeps it.
    std::optional<std::vector<std::uint8_t>> stored_version_;
    std::string stored_by_;
};

}  // namespace tola::sim
