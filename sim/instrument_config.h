// How one virtual instrument is set up: kind, processor, layout release, firmware,
// identity, where its USB face appears and how it times its answers.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/byte_order.h"

namespace tola::sim {

inline constexpr std::uint16_t kStm32ReleaseNumber = 0x0103;
inline constexpr std::uint16_t kH8sxReleaseNumber = 0x0102;

struct InstrumentConfig {
    // iDevice: 1 first generation, 2 first generation on a serial port, 3 H8SX boot
    // mode, 4 memory-mapped generation; 8, 9 the same on a serial port, 10, 11 over
    // Bluetooth (8..11 always STM32F2)
    int kind = 4;
    int cpu = 2;   // kind 4 only: 1 H8SX, 2 STM32F2
    std::string layout_release = "CK0A.00.31.00";
    std::string firmware = "511vLE";
    std::string firmware_date = "January 16, 2022";
    std::string serial = "H51234";
    std::uint32_t device_type = 5324;
    std::string name;    // product name in the version block; empty: the usual name of the kind
    std::string socket;  // see socket_relative_path(); empty: the default of the kind
    std::optional<std::uint16_t> descriptor_release;
    std::optional<std::chrono::milliseconds> command_delay;  // host command completion
    std::chrono::milliseconds measure_time{150};  // from a measure or calibrate command to its results
    int measure_kind = 0;  // kind every colour measurement reports (1..7, 12); 0: the instrument's rotation
    std::chrono::milliseconds trigger_every{0};  // the trigger is pressed this often (0: only on request)
    bool reports_whiteness = false;  // the Bluetooth generation also measures average and whiteness alone (kind 12)
    std::chrono::milliseconds restart_silence{1500};
    // How long a flash sector erase keeps the instrument busy: a request that
    // arrives meanwhile is answered only when the erase is done.
    std::chrono::milliseconds erase_time{0};
    bool reset_settings_on_restart = true;
    std::vector<std::string> faults;  // faults (as text) applied when the instrument starts
    std::string bt_address;  // kinds 10, 11; empty: 00:80:25:AB:CD:01, :02, ... in order
    std::string bt_name;     // kinds 10, 11; empty: product name and serial number
    // Where the flash and the stored settings are kept across runs (files
    // persist + ".flash" and ".json"); empty: nothing is kept.
    std::string persist;

    std::uint16_t release_number() const;
    ByteOrder byte_order() const;
    std::chrono::milliseconds completion_delay() const;
    std::string product_name() const;

    bool serial_link() const { return kind == 2 || kind == 8 || kind == 9; }
    bool bluetooth_link() const { return kind == 10 || kind == 11; }
    bool byte_stream_link() const { return serial_link() || bluetooth_link(); }
    // The device behind the link: kinds 8..11 are the STM32F2 memory-mapped
    // generation (as kind 4, cpu 2), kind 2 is the first generation (as kind 1).
    InstrumentConfig core_config() const;
    std::string bluetooth_name() const;
};

inline constexpr std::string_view kInterfaceClassFolder = "{00873FDF-61A8-11D1-AA5E-00C04FB1728B}";

// Socket location below the USB directory.  The two driver names stay in the
// directory itself; a name with a slash is taken as it is; any other name is a
// device of the interface class and lives in the class folder.
std::string socket_relative_path(std::string_view socket_name);

// Sets one field from its textual form ("kind", "cpu", "release", "firmware",
// "firmware-date", "serial", "device-type", "name", "socket", "descriptor-release",
// "command-delay-ms", "measure-time-ms", "measure-kind", "trigger-every-ms", "restart-silence-ms",
// "erase-time-ms", "reset-settings",
// "fault", "bt-address", "bt-name").
bool apply_setting(InstrumentConfig& config, std::string_view key, std::string_view value, std::string* error);

// Empty when the configuration describes an instrument that can exist.
std::string validate(const InstrumentConfig& config);

// A configuration file: JSON ({"instruments": [{...}, ...]}, a list, or one object)
// or key=value lines where a line "[instrument]" starts the next instrument.
std::optional<std::vector<InstrumentConfig>> parse_config_text(std::string_view text, std::string* error);

}  // namespace tola::sim
