// The checks themselves: what each finding means for a connection and how to
// fix it.  The operating system is asked through platform/probes.h only.
#include "tools/doctor/doctor.h"
#include "tools/doctor/platform/probes.h"

#include "comm/platform/named_mutex.h"
#include "platform/runtime_folder.h"
#include "update/firmware/stored_settings.h"
#include "update/firmware/update_history.h"

#include <QFileInfo>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace tola::doctor {
namespace {

constexpr const char* kRuleName = "70-tola-usb.rules";
constexpr const char* kUnitName = "tola-usbd.service";
constexpr const char* kBtClientName = "libTolaBtClient.so";

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

Check ok(std::string id, std::string text) { return Check{std::move(id), Outcome::Ok, false, std::move(text), {}}; }
Check note(std::string id, std::string text) { return Check{std::move(id), Outcome::Note, false, std::move(text), {}}; }
Check problem(std::string id, bool blocks, std::string text, std::string fix) {
    return Check{std::move(id), Outcome::Problem, blocks, std::move(text), std::move(fix)};
}

// The folders the user's systemd reads units from, first the user's own, in
// the order systemd reads them (not counting transient and generated units).
std::vector<std::string> user_unit_folders() {
    const std::string home = env("HOME");
    std::string config = env("XDG_CONFIG_HOME");
    std::string data = env("XDG_DATA_HOME");
    if (config.empty() && !home.empty()) config = home + "/.config";
    if (data.empty() && !home.empty()) data = home + "/.local/share";
    std::vector<std::string> folders;
    if (!config.empty()) folders.push_back(config + "/systemd/user");
    folders.insert(folders.end(), {"/etc/systemd/user", "/run/systemd/user"});
    if (!data.empty()) folders.push_back(data + "/systemd/user");
    folders.insert(folders.end(), {"/usr/local/lib/systemd/user", "/usr/lib/systemd/user"});
    return folders;
}

struct Paths {
    bool usb = false;
    bool serial = false;
    bool bluetooth = false;
};

void library_checks(const Inputs& in, Report& r, std::string& bt_client) {
    const std::string file = probe::file_of(in.library_symbol);
    if (file.empty()) {
        r.checks.push_back(problem("library", true, "libTOLA_comm.so is not loaded",
                                   "install the package libtola-comm1 (or build the library)"));
    } else {
        r.checks.push_back(ok("library", "libTOLA_comm " + (in.library_version.empty() ? "" : in.library_version + " ") +
                                             "loaded from " + file));
    }
    // The library loads the client by $TOLA_BT_CLIENT, else by its plain name
    // through its own run path (its folder) and then the loader's search.
    std::string forced = env("TOLA_BT_CLIENT");
    std::string candidate = forced;
    if (candidate.empty() && !file.empty()) {
        const std::string beside = std::filesystem::path(file).parent_path() / kBtClientName;
        candidate = probe::file_exists(beside) ? beside : kBtClientName;
    }
    if (candidate.empty()) candidate = kBtClientName;
    std::string error;
    bt_client = probe::resolve_library(candidate, error);
    if (bt_client.empty()) {
        r.checks.push_back(problem("bluetooth-client", false, "no Bluetooth client library: " + error,
                                   forced.empty() ? "install the package libtola-comm1 (it holds the BlueZ client)"
                                                  : "point TOLA_BT_CLIENT at an existing client library, or unset it"));
    } else {
        r.checks.push_back(ok("bluetooth-client", "Bluetooth client loaded from " + bt_client +
                                                      (forced.empty() ? "" : " (chosen by TOLA_BT_CLIENT)")));
    }
}

void usb_checks(Report& r, Paths& paths) {
    const std::string dir = os::runtime_folder("TOLA_USB_DIR", "usb");
    const probe::Folder f = probe::folder(dir);
    if (!f.exists || !f.is_dir) {
        r.checks.push_back(problem("usb-channel", false, "USB channel folder " + dir + " does not exist",
                                   "start tola-usbd (systemctl --user enable --now tola-usbd) or a virtual instrument"));
    } else if (f.owner != probe::user() || (f.mode & 022) != 0) {
        // Whoever may write there can put a socket in place of an instrument.
        char mode[8];
        std::snprintf(mode, sizeof mode, "%03o", f.mode);
        r.checks.push_back(problem("usb-channel", true,
                                   "USB channel folder " + dir + " is not private (owner " + std::to_string(f.owner) +
                                       ", mode " + mode + "): another user could stand in for an instrument",
                                   "chmod 700 " + dir + " (it must be yours), or remove it and start tola-usbd again"));
    } else {
        int answering = 0;
        const auto sockets = probe::sockets_in(dir);
        for (const auto& s : sockets) answering += probe::answers(s) ? 1 : 0;
        if (answering > 0) {
            paths.usb = true;
            r.checks.push_back(ok("usb-channel", "USB channel folder " + dir + ": private, " +
                                                     std::to_string(answering) + " instrument socket(s) answering"));
        } else {
            r.checks.push_back(problem("usb-channel", false,
                                       "USB channel folder " + dir + " is private but no instrument socket answers",
                                       "plug the instrument in and start tola-usbd (systemctl --user start tola-usbd)"));
        }
    }

    const auto bridges = probe::processes_named("tola-usbd");
    if (!bridges.empty()) {
        r.checks.push_back(ok("tola-usbd", "tola-usbd runs (process " + std::to_string(bridges.front()) + ")"));
    } else {
        r.checks.push_back(problem("tola-usbd", false, "tola-usbd does not run: real USB instruments are not served",
                                   "systemctl --user enable --now tola-usbd (or run tola-usbd --foreground)"));
    }

    const char* rule_folders[] = {"/etc/udev/rules.d", "/run/udev/rules.d", "/usr/lib/udev/rules.d", "/lib/udev/rules.d"};
    std::string rule;
    for (const char* folder : rule_folders) {
        if (probe::file_exists(std::string(folder) + "/" + kRuleName)) {
            rule = std::string(folder) + "/" + kRuleName;
            break;
        }
    }
    if (!rule.empty()) {
        r.checks.push_back(ok("udev-rule", "udev rule " + rule));
    } else {
        r.checks.push_back(problem("udev-rule", false,
                                   std::string("udev rule ") + kRuleName + " is not where udev reads it",
                                   std::string("install the package tola-tools, or: sudo cp ") + kRuleName +
                                       " /etc/udev/rules.d/ && sudo udevadm control --reload-rules"));
    }

    // The rule asks the user's systemd for this unit when an instrument is plugged in.
    std::string unit;
    for (const std::string& folder : user_unit_folders()) {
        if (probe::file_exists(folder + "/" + kUnitName)) {
            unit = folder + "/" + kUnitName;
            break;
        }
    }
    if (!unit.empty()) {
        r.checks.push_back(ok("user-unit", "systemd user unit " + unit));
    } else {
        r.checks.push_back(problem("user-unit", false,
                                   std::string("systemd user unit ") + kUnitName +
                                       " is not where systemd reads it: plugging an instrument in does not start "
                                       "tola-usbd",
                                   std::string("install the package tola-tools, or: cp ") + kUnitName +
                                       " ~/.config/systemd/user/ && systemctl --user daemon-reload"));
    }

    const auto devices = probe::usb_devices({"e1a7", "045b"});
    if (devices.empty()) {
        r.checks.push_back(note("usb-devices", "no instrument on the USB bus (vendors e1a7, 045b)"));
    }
    for (const auto& d : devices) {
        const std::string what = "USB device " + d.vendor + ":" + d.product + " at " + d.node;
        if (d.accessible) r.checks.push_back(ok("usb-devices", what + ": you may open it"));
        else
            r.checks.push_back(problem("usb-devices", false, what + ": you may not open it",
                                       "install the udev rule (package tola-tools), then unplug and plug the "
                                       "instrument in again while logged in at the machine"));
    }
}

void serial_checks(Report& r, Paths& paths) {
    bool any = false;
    for (int n = 1; n <= 20; ++n) {
        const std::string variable = "TOLA_COM" + std::to_string(n);
        const std::string path = env(variable.c_str());
        if (path.empty()) continue;
        any = true;
        const probe::Device d = probe::device(path);
        const std::string what = variable + "=" + path;
        if (!d.exists) {
            r.checks.push_back(problem("serial", false, what + " does not exist",
                                       "plug the adapter in, or set " + variable + " to its device (ls /dev/serial/by-id)"));
        } else if (!d.accessible) {
            const std::string group = d.group.empty() ? "dialout" : d.group;
            r.checks.push_back(problem("serial", false, what + ": you may not open it (group " + group + ")",
                                       probe::user_in_group(group)
                                           ? "log out and in again so that the membership of " + group + " applies"
                                           : "sudo adduser $USER " + group + ", then log out and in again"));
        } else {
            paths.serial = true;
            r.checks.push_back(ok("serial", what + ": present, you may open it"));
        }
    }
    if (!any) r.checks.push_back(note("serial", "no TOLA_COM<n> set: serial ports are /dev/ttyS<n-1>"));
}

void bluetooth_checks(Report& r, Paths& paths, const std::string& bt_client) {
    // The virtual instrument's stand-in reaches registrations, not radios.
    if (bt_client.find("/chromatik-sim/") != std::string::npos) {
        const std::string dir = os::runtime_folder("TOLA_BT_DIR", "bt");
        const bool registered = !probe::sockets_in(dir).empty();
        paths.bluetooth = registered;
        r.checks.push_back(note("bluez", "the Bluetooth client is the virtual instrument's stand-in (folder " + dir + ")"));
        return;
    }
    const probe::Bluez b = probe::bluez();
    if (!b.reachable) {
        r.checks.push_back(problem("bluez", false, "BlueZ cannot be reached: " + b.error,
                                   "sudo apt install bluez && sudo systemctl enable --now bluetooth"));
    } else if (b.adapters == 0) {
        r.checks.push_back(problem("bluez", false, "BlueZ runs but has no Bluetooth adapter",
                                   "plug a Bluetooth adapter in (rfkill list: is it blocked?)"));
    } else if (b.powered == 0) {
        r.checks.push_back(problem("bluez", false,
                                   "BlueZ has " + std::to_string(b.adapters) + " adapter(s), none powered",
                                   "bluetoothctl power on (rfkill unblock bluetooth if it is blocked)"));
    } else {
        paths.bluetooth = true;
        r.checks.push_back(ok("bluez", "BlueZ reachable, " + std::to_string(b.powered) + " of " +
                                           std::to_string(b.adapters) + " adapter(s) powered"));
    }
}

void shared_checks(Report& r) {
    std::string name = env("TOLA_MUTEX_NAME");
    if (name.empty()) name = "CKP_InterfaceMutex";
    platform::NamedMutex mutex(name);
    if (!mutex.is_shared()) {
        r.checks.push_back(problem("interface-mutex", false,
                                   "interface mutex " + name + " cannot be shared: programs no longer take turns",
                                   "remove /dev/shm/" + name + "." + std::to_string(probe::user()) +
                                       " when no program of this system runs"));
    } else if (!mutex.lock(200)) {
        r.checks.push_back(note("interface-mutex", "interface mutex " + name + " is held by another program now"));
    } else {
        mutex.unlock();
        r.checks.push_back(ok("interface-mutex", "interface mutex " + name + " usable"));
    }

    const QString history = ckupdate::DefaultHistoryFile();
    if (!history.isEmpty() && ckupdate::HistoryWritable(history)) {
        r.checks.push_back(ok("update-history", "update history " + history.toStdString() + " writable"));
    } else {
        const std::string where = history.isEmpty() ? std::string("the application data folder") : history.toStdString();
        r.checks.push_back(problem("update-history", false, "update history " + where + " cannot be written",
                                   "make the folder writable: chmod u+w " +
                                       QFileInfo(history).absolutePath().toStdString()));
    }
    const QString backups = ckupdate::DefaultSettingsBackupFolder();
    if (!backups.isEmpty() && probe::writable(backups.toStdString())) {
        r.checks.push_back(ok("settings-backups", "settings backups folder " + backups.toStdString() + " writable"));
    } else {
        r.checks.push_back(problem("settings-backups", false, "settings backups folder cannot be written" +
                                                                  (backups.isEmpty() ? std::string() : ": " + backups.toStdString()),
                                   "make the application data folder (~/.local/share/TOLA) writable"));
    }
}

}  // namespace

bool Report::connection_possible() const {
    for (const auto& c : checks) {
        if (c.outcome == Outcome::Problem && c.blocks) return false;
    }
    return true;
}

Report run(const Inputs& inputs) {
    Report r;
    Paths paths;
    std::string bt_client;
    library_checks(inputs, r, bt_client);
    usb_checks(r, paths);
    serial_checks(r, paths);
    bluetooth_checks(r, paths, bt_client);
    shared_checks(r);
    if (paths.usb || paths.serial || paths.bluetooth) {
        std::string open;
        if (paths.usb) open += "USB";
        if (paths.serial) open += std::string(open.empty() ? "" : ", ") + "serial";
        if (paths.bluetooth) open += std::string(open.empty() ? "" : ", ") + "Bluetooth";
        r.checks.push_back(ok("instrument-path", "a way to an instrument is open: " + open));
    } else {
        r.checks.push_back(problem("instrument-path", true, "no way to an instrument is open (USB, serial, Bluetooth)",
                                   "connect the instrument by USB and start tola-usbd (systemctl --user enable --now "
                                   "tola-usbd), or set TOLA_COM<n> to its serial device, or power a Bluetooth adapter on"));
    }
    return r;
}

const char* outcome_name(Outcome outcome) {
    switch (outcome) {
        case Outcome::Ok: return "ok";
        case Outcome::Problem: return "problem";
        case Outcome::Note: return "note";
    }
    return "note";
}

std::string format_line(const Check& check) {
    std::string line = std::string(outcome_name(check.outcome)) + ": " + check.text;
    if (!check.fix.empty()) line += " - fix: " + check.fix;
    return line;
}

}  // namespace tola::doctor
