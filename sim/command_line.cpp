#include "sim/command_line.h"

#include <fstream>
#include <sstream>

namespace tola::sim {

std::string usage_text() {
    return R"(chromatik-sim: virtual Chromatik instruments behind the USB driver channel,
pseudo-terminals (serial ports) and Bluetooth registrations.

Usage: chromatik-sim [options] [instrument options]...

Each --kind starts the description of one more instrument; the instrument options
after it describe that instrument.  Without any instrument one Chromatik V is
started (kind 4, cpu 2, CK0A.00.31.00, firmware 511vLE).

Options:
  --usb-dir DIR         folder of the channel sockets (default: $TOLA_USB_DIR, else
                        $XDG_RUNTIME_DIR/tola/usb, else /tmp/tola-$UID/usb)
  --bt-dir DIR          folder of the Bluetooth registrations (default: $TOLA_BT_DIR,
                        else $XDG_RUNTIME_DIR/tola/bt, else /tmp/tola-$UID/bt)
  --state-file FILE     where the list of instruments and sockets is written
                        (default: DIR/../sim-state.json)
  --control PATH        control socket for faults and journals (default:
                        DIR/../sim-control); lines "<index> <fault>",
                        "<index> trigger" (press the trigger: a colour
                        measurement), "<index> echo" (send the current queue
                        entry again), "journal <index>", "list"
  --tell LINE           send LINE to the control socket of a running
                        chromatik-sim (found by --control or --usb-dir), print
                        the answer and exit, e.g. --tell "0 trigger"
  --journal FILE        write every instrument's journal there on exit ("-": stdout)
  --persist DIR         keep each instrument's flash and stored settings in DIR
                        (files <index>-<serial>.flash and .json, written as they
                        change): started again with the same options, even after
                        being killed, an instrument comes back with the firmware
                        its flash holds and the settings it had stored (state 53).
                        Without it every start is a factory-fresh instrument
  --config FILE         instruments from a file: JSON {"instruments": [{"kind": 4,
                        ...}]} or key=value lines, "[instrument]" between them
  --replay FILE         no instruments: serve the record FILE (made with
                        TOLA_RECORD=FILE or tolactl --record FILE) on the link it
                        was recorded on; the first request that differs from the
                        record ends the replay (exit 1, the difference on stderr).
                        A malformed record is refused (exit 2, "record line N:"),
                        as is one that opens anything but a name in the USB or
                        Bluetooth folder (letters, digits, - _ . :, no leading
                        dot; USB also {00873FDF-...}/<name>) or a COM<n>
  --help                this text

Instrument options:
  --kind N              1 first generation (EZ-USB), 3 H8SX in boot mode,
                        4 memory-mapped generation;
                        2 first generation on a serial port (pseudo-terminal),
                        8, 9 memory-mapped generation (STM32F2) on a serial port,
                        answering the link check with 230 or 231,
                        10, 11 the same over Bluetooth
  --cpu N               kind 4: 2 STM32F2 (descriptor release 0x0103), 1 H8SX
  --release NAME        layout release, e.g. CK0A.00.31.00 (any text is served,
                        an unknown one such as CK0A.00.21.00 included)
  --firmware TEXT       firmware release, e.g. 511vLE
  --firmware-date TEXT  firmware date
  --serial TEXT         serial number, e.g. H51234
  --device-type N       device type code answered to query 21, e.g. 5324
  --name TEXT           product name in the version block
  --socket NAME         Chrmtk0-0 or ezusb-0 (in DIR), a name such as dev1 (in the
                        interface-class folder), or a path below DIR
                        (defaults: kind 1 ezusb-0, kinds 3 and 4 dev0, dev1, ...)
  --descriptor-release N  release number in the device descriptor
  --command-delay-ms N  time a host command takes (default 20 for release
                        0x0103, else 0)
  --measure-time-ms N   from a measure or calibrate command to its results (150)
  --measure-kind N      kind every measurement reports, 1..7 or 12 (0: the
                        rotation tooth, tab, tooth area in three steps,
                        ceramic, verification, tooth with average and, over
                        Bluetooth, average and whiteness alone)
  --trigger-every-ms N  press the trigger every N ms (0: only when told)
  --restart-silence-ms N  how long a restart keeps the instrument away (1500)
  --erase-time-ms N     how long a flash sector erase keeps the instrument busy (0)
  --reset-settings 0|1  whether new firmware brings its default settings (1)
  --bt-address ADDR     kinds 10, 11: Bluetooth address, the name of the registration
                        (default 00:80:25:AB:CD:01, :02, ... in order)
  --bt-name TEXT        kinds 10, 11: device name found by a search (default: product
                        name and serial number, e.g. "Chromatik V H51234")
  --fault FAULT         a fault, repeatable:
                        refuse=CODE[:N]   refuse the next N requests of a code
                        truncate=N        next reply with data keeps N bytes
                        corrupt[=I]       next reply with data has byte I inverted
                        status=BYTE[:N]   next first-generation statuses say BYTE
                        erase=BYTE        next erase status byte 1 (5 or 4)
                        descriptor=N      descriptors come back with N bytes
                        silent[=N][:MS]   next N requests never answered; the
                                          connection closes after MS ms
                        restart-silence=MS  silence after the next restart
                        unplug            the socket is gone (replug brings it back)
                      boot loader (every link):
                        refuse-command=C[:N]  refuse the next N controller commands C
                        refuse-erase=S[:N]    refuse the next N erases of sector S
                        refuse-write=A[:N]    refuse the next N writes covering address
                                              A (N = 0: all of them)
                        weak-flash=A          the flash cell at A reads bit 0 flipped
                        lose-ack-write=A[:N]  the next N writes covering address A
                                              are carried out but answered as
                                              failed (N = 0: all of them)
                        lose-ack-command=C[:N]  the next N controller commands C
                                              are carried out (10 restarts) but
                                              answered as failed
                      serial and Bluetooth faces:
                        bad-sum[=N]       next N blocks sent: first packet's sum wrong
                        bad-xor[=N]       ... its XOR wrong
                        bad-number[=N]    ... its number wrong
                        short-block[=N]   ... one data byte short
                        extra-packet[=N]  ... one packet more announced than sent
                        mute[=N]          next N code bytes go unanswered
                        stray=BYTE[:N]    BYTE sent before the next acknowledgement(s)
                        nack=CODE:R       next CODE refused with R (200..208)
                        drop-link         at the next exchange the link goes down
                                          (Bluetooth: connection closed; serial: no
                                          answers until replug)

Examples:
  chromatik-sim --kind 4 --cpu 2 --release CK0A.00.31.00 --firmware 511vLE \
                --serial H51234 --device-type 5324
  chromatik-sim --kind 1 --release CK0A.00.20.00 --firmware 405a
  chromatik-sim --kind 3
  chromatik-sim --kind 4 --cpu 1 --release CK0A.00.28.00 --firmware 311b --device-type 3234
  chromatik-sim --kind 9 --serial H51234
  chromatik-sim --kind 2 --release CK0A.00.20.00 --firmware 405a
  chromatik-sim --bt-dir /tmp/bt --kind 10 --bt-address 00:80:25:AB:CD:01 \
                --bt-name "Chromatik V H51234"

The program prints one line per instrument with its socket, pseudo-terminal
(set TOLA_COM<n> to it) or Bluetooth address, writes the state file, and runs
until SIGINT or SIGTERM; then it removes its sockets and registrations.
)";
}

namespace {

bool fail(std::string* error, std::string why) {
    if (error) *error = std::move(why);
    return false;
}

bool load_config_file(const std::filesystem::path& path, std::vector<InstrumentConfig>& out, std::string* error) {
    std::ifstream in(path);
    if (!in) return fail(error, "cannot read " + path.string());
    std::stringstream text;
    text << in.rdbuf();
    auto list = parse_config_text(text.str(), error);
    if (!list) return false;
    out.insert(out.end(), list->begin(), list->end());
    return true;
}

}  // namespace

std::optional<ProgramOptions> parse_command_line(std::span<const std::string_view> args,
                                                 const std::filesystem::path& default_usb_dir, std::string* error) {
    return parse_command_line(args, default_usb_dir, default_usb_dir.parent_path() / "bt", error);
}

std::optional<ProgramOptions> parse_command_line(std::span<const std::string_view> args,
                                                 const std::filesystem::path& default_usb_dir,
                                                 const std::filesystem::path& default_bt_dir, std::string* error) {
    ProgramOptions o;
    o.usb_dir = default_usb_dir;
    o.bt_dir = default_bt_dir;
    std::optional<std::filesystem::path> state, control;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == "--help" || arg == "-h") {
            o.help = true;
            continue;
        }
        if (arg.substr(0, 2) != "--") {
            fail(error, "unexpected argument '" + std::string(arg) + "'");
            return std::nullopt;
        }
        if (i + 1 >= args.size()) {
            fail(error, std::string(arg) + " needs a value");
            return std::nullopt;
        }
        const std::string_view key = arg.substr(2);
        const std::string_view value = args[++i];
        if (key == "usb-dir") o.usb_dir = value;
        else if (key == "bt-dir") o.bt_dir = value;
        else if (key == "state-file") state = std::filesystem::path(value);
        else if (key == "control") control = std::filesystem::path(value);
        else if (key == "journal") o.journal = std::filesystem::path(value);
        else if (key == "tell") o.tell = std::string(value);
        else if (key == "persist") o.persist_dir = std::filesystem::path(value);
        else if (key == "replay") o.replay = std::filesystem::path(value);
        else if (key == "config") {
            if (!load_config_file(value, o.instruments, error)) return std::nullopt;
        } else {
            if (key == "kind" || o.instruments.empty()) o.instruments.emplace_back();
            if (!apply_setting(o.instruments.back(), key, value, error)) return std::nullopt;
        }
    }
    if (o.replay && !o.instruments.empty()) {
        fail(error, "--replay serves a record, not instruments described by options");
        return std::nullopt;
    }
    if (o.instruments.empty() && !o.replay) o.instruments.emplace_back();
    for (const auto& c : o.instruments)
        if (auto why = validate(c); !why.empty()) {
            fail(error, why);
            return std::nullopt;
        }
    if (o.persist_dir)
        for (std::size_t i = 0; i < o.instruments.size(); ++i)
            o.instruments[i].persist = (*o.persist_dir / (std::to_string(i) + "-" + o.instruments[i].serial)).string();
    const auto parent = o.usb_dir.parent_path();
    o.state_file = state.value_or(parent / "sim-state.json");
    o.control_socket = control.value_or(parent / "sim-control");
    return o;
}

}  // namespace tola::sim
