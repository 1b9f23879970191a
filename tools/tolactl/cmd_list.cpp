// tolactl list: every instrument in reach, each opened alone by its place (a
// USB channel socket, a serial port named by TOLA_COM<n>, a Bluetooth device
// already known) and closed again.  Nothing but queries is sent to any of them, and the
// instrument of a running update is not opened.
#include "commands.h"
#include "instrument_list.h"
#include "session.h"
#include "update_session.h"
#include "wait_line.h"

#include "update/binding/linked_functions.h"
#include "update/device/instrument_survey.h"
#include "update/firmware/stored_settings.h"
#include "update/firmware/update_lock.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>

namespace tolactl {
namespace {

using namespace ckupdate;

struct ListOptions {
    std::string link = "all";
    bool json = false;
    bool bt_search = false;
    std::string backup_dir;
};

std::vector<int> named_com_ports() {
    std::vector<int> ports;
    for (int n = 1; n <= 20; ++n) {
        const std::string variable = "TOLA_COM" + std::to_string(n);
        if (const char* path = std::getenv(variable.c_str()); path != nullptr && *path != '\0') ports.push_back(n);
    }
    return ports;
}

QStringList bluetooth_addresses(bool search) {
    QStringList addresses;
    auto add = [&addresses](const std::string& a) {
        if (!a.empty() && !addresses.contains(QString::fromStdString(a))) addresses << QString::fromStdString(a);
    };
    add(selected_device());
    for (const std::string& a : known_devices()) add(a);
    if (search) {
        auto devices = std::make_unique<BT_DEVICES>();
        std::memset(devices.get(), 0, sizeof *devices);
        WaitLine line;
        line.announce("searching for Bluetooth instruments (Ctrl-C ends the search)");
        const std::int32_t result = bTOLA_comm_bt_discovery_ex(devices.get(), sizeof *devices);
        line.clear();
        if (result <= 0) std::cerr << "tolactl: the Bluetooth search failed; listing the known devices only\n";
        for (std::uint32_t i = 0; result > 0 && i < devices->iCount && i < TOLA_BT_DEVICES_MAX; ++i)
            add(devices->qBtDevice[i].snBtAddress);
        std::vector<std::string> known;
        for (const QString& a : addresses) known.push_back(a.toStdString());
        remember_known_devices(known);
    }
    return addresses;
}

SurveyPlaces places_for(const ListOptions& o, const std::optional<UpdateLock::Running>& running) {
    SurveyPlaces places;
    const bool all = o.link == "all";
    if (all || o.link == "usb") places.usbSockets = UsbChannelSockets();
    if (all || o.link == "serial") places.comPorts = named_com_ports();
    if (all || o.link == "bt") places.btAddresses = bluetooth_addresses(o.bt_search);
    if (running) {
        places.busyText = running->text;
        if (running->port == QLatin1String("bluetooth")) {
            // The radio link of an update is its own: no other connection is tried.
            places.btAddresses.clear();
        } else {
            places.usbBusy = true;
            places.busyUsbSocket = running->socket;
        }
    }
    return places;
}

}  // namespace

std::vector<ListedInstrument> list_instruments(const SurveyPlaces& places, const QString& backup_folder,
                                               const std::optional<UpdateLock::Running>& running, bool show_progress) {
    CommApi api(&LinkedCommFunctions());
    TDeviceConnection connection(api);
    WaitLine line;
    const auto progress = [&](const QString& link, const QString& where) {
        if (show_progress) line.show("looking at " + link.toStdString() + " " + where.toStdString());
    };
    std::vector<ListedInstrument> listed;
    for (SurveyedInstrument& s : SurveyInstruments(connection, places, progress)) {
        ListedInstrument l{std::move(s), {}, {}};
        if (!l.found.serial.isEmpty()) {
            if (auto pending = PendingSettingsFor(backup_folder, l.found.serial)) l.pendingBackup = pending->path;
            if (running && running->serial == l.found.serial) l.runningUpdate = running->text;
        }
        if (l.found.busy && running) l.runningUpdate = running->text;
        listed.push_back(std::move(l));
    }
    line.clear();
    return listed;
}

std::string format_state(const ListedInstrument& l) {
    std::string state;
    auto add = [&state](const std::string& s) { state += (state.empty() ? "" : "; ") + s; };
    if (l.found.bootLoader) add("boot loader only");
    if (l.found.busy) add("updating, not opened");
    else if (!l.runningUpdate.isEmpty()) add("updating");
    if (!l.pendingBackup.isEmpty()) add("pending settings backup");
    return state.empty() ? "ready" : state;
}

namespace {

void print_table(const std::vector<ListedInstrument>& listed, const QStringList& duplicates) {
    if (listed.empty()) {
        std::cout << "no instrument found (tolactl doctor tells why)\n";
        return;
    }
    std::printf("%-9s %-17s %-16s %-16s %-10s %-8s %-14s %s\n", "LINK", "WHERE", "KIND", "PRODUCT", "SERIAL", "FIRMWARE",
                "LAYOUT", "STATE");
    for (const ListedInstrument& l : listed) {
        const SurveyedInstrument& s = l.found;
        std::printf("%-9s %-17s %-16s %-16s %-10s %-8s %-14s %s\n", s.link.toUtf8().constData(),
                    s.where.toUtf8().constData(), s.kind.toUtf8().constData(), s.product.toUtf8().constData(),
                    s.serial.isEmpty() ? "-" : s.serial.toUtf8().constData(),
                    s.firmware.isEmpty() ? "-" : s.firmware.toUtf8().constData(),
                    s.layout.isEmpty() ? "-" : s.layout.toUtf8().constData(), format_state(l).c_str());
    }
    for (const QString& serial : duplicates)
        std::printf("warning: more than one instrument answers with serial number %s: name it by --socket\n",
                    serial.toUtf8().constData());
}

nlohmann::json to_json(const std::vector<ListedInstrument>& listed, const QStringList& duplicates) {
    nlohmann::json list = nlohmann::json::array();
    for (const ListedInstrument& l : listed) {
        const SurveyedInstrument& s = l.found;
        list.push_back({{"link", s.link.toStdString()},
                        {"where", s.where.toStdString()},
                        {"kind", s.kind.toStdString()},
                        {"product", s.product.toUtf8().toStdString()},
                        {"serial", s.serial.toStdString()},
                        {"firmware", s.firmware.toStdString()},
                        {"layout", s.layout.toStdString()},
                        {"device_code", s.deviceCode},
                        {"boot_loader", s.bootLoader},
                        {"busy", s.busy},
                        {"pending_backup", l.pendingBackup.toStdString()},
                        {"running_update", l.runningUpdate.toStdString()},
                        {"note", s.note.toStdString()}});
    }
    nlohmann::json twice = nlohmann::json::array();
    for (const QString& serial : duplicates) twice.push_back(serial.toStdString());
    return {{"instruments", list}, {"duplicates", twice}};
}

}  // namespace

void add_list_command(CLI::App& app) {
    auto o = std::make_shared<ListOptions>();
    CLI::App* list = app.add_subcommand("list", "every instrument in reach, found without disturbing any of them");
    list->add_option("--link", o->link, "usb, serial (ports named by TOLA_COM<n>), bt (known devices) or all")
        ->check(CLI::IsMember({"usb", "serial", "bt", "all"}))
        ->capture_default_str();
    list->add_flag("--bt-search", o->bt_search, "search for Bluetooth instruments first (some seconds)");
    list->add_flag("--json", o->json, "one JSON object: instruments and duplicate serial numbers");
    list->add_option("--backup-dir", o->backup_dir, "folder of the settings backups (for the pending ones)");
    list->callback([o] {
        const auto running = UpdateLock::RunningUpdateOf(UpdateLock::DefaultFolder());
        const SurveyPlaces places = places_for(*o, running);
        const auto listed = list_instruments(places, backup_folder(o->backup_dir), running, !o->json);
        std::vector<SurveyedInstrument> found;
        for (const ListedInstrument& l : listed) found.push_back(l.found);
        const QStringList duplicates = DuplicateSerials(found);
        if (o->json) std::cout << to_json(listed, duplicates).dump() << std::endl;
        else print_table(listed, duplicates);
    });
}

}  // namespace tolactl
