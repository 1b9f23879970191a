// The instrument behind its USB face: memory map, flash, structures, host command
// block, boot-loader state and restart.  Not locked: the owning Instrument
// serialises every call.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
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

// Ok and AckLost: the write was carried out (AckLost: a fault keeps the host from hearing so).
enum class WriteStatus { Ok, OutOfRange, Refused, AckLost };

// What the instrument keeps through a restart and a power cycle besides its
// flash: the identity block and settings the firmware last stored permanently
// (state 53), the firmware that stored them, and the flash cells found weak
// (each holds a byte that differs from what was programmed there).
struct PermanentState {
    std::string firmware;
    std::vector<std::uint8_t> version;
    std::vector<std::uint8_t> settings;
    std::set<std::uint32_t> weak_cells;
};

// Told whenever flash content or the permanent state changes (for persistence).
struct PersistHooks {
    std::function<void(std::uint32_t address, std::uint32_t length)> flash_changed;
    std::function<void()> permanent_changed;
};

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
    // The STM32 boot loader runs (after command 11, or because the application
    // area holds no valid application): only flash and the controller commands
    // are served; RAM, the structure table and the host command block are not.
    bool boot_loader_only() const { return update_mode_ && stm32(); }
    // A header block at the application area, every one of its cells holding
    // what was programmed.
    bool application_valid() const;

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
    // Starts again from what flash holds and from the permanent state.
    void restart();
    // Power-on with flash content and permanent state of an earlier run (the
    // flash is already loaded): starts like a restart, journalled as one.
    void power_on(PermanentState permanent);
    const PermanentState& permanent() const { return permanent_; }
    void set_persist_hooks(PersistHooks hooks) { hooks_ = std::move(hooks); }
    // A lost-acknowledgement fault for this command: true (and journalled) when
    // its answer must be a failure although it was carried out.
    bool lose_command_ack(std::uint32_t command);

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
    bool stm32() const { return config_.kind == 4 && config_.cpu == 2; }
    void boot(std::string why);
    void capture_permanent();
    void flash_changed(std::uint32_t address, std::uint32_t length);
    void permanent_changed();
    void build_memory_map();
    void load_factory_flash();
    void load_structures(bool keep_flash);
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
    // What a restart brings back: the factory state at first, then what the
    // firmware stores with state 53 (and what a new firmware starts with).
    PermanentState permanent_;
    PersistHooks hooks_;
};

}  // namespace tola::sim
