// tolactl bt-scan and bt-select.  The selected instrument is remembered in
// $XDG_CONFIG_HOME/tola/bt-device (else ~/.config/tola/bt-device) so that
// later "--port bt" commands connect to it.
#include "commands.h"
#include "instrument_list.h"
#include "session.h"
#include "wait_line.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

namespace tolactl {

std::filesystem::path selected_device_file() {
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && *config != '\0')
        return std::filesystem::path(config) / "tola" / "bt-device";
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home != nullptr ? home : "/tmp") / ".config" / "tola" / "bt-device";
}

std::string selected_device() {
    std::ifstream in(selected_device_file());
    std::string address;
    std::getline(in, address);
    return address;
}

// The addresses the last search found, beside the selected one: the devices
// "already known" that tolactl list looks at without searching.
std::filesystem::path known_devices_file() { return selected_device_file().parent_path() / "bt-known"; }

std::vector<std::string> known_devices() {
    std::ifstream in(known_devices_file());
    std::vector<std::string> addresses;
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line.size() < sizeof(TMNAME)) addresses.push_back(line);
    return addresses;
}

void remember_known_devices(const std::vector<std::string>& addresses) {
    std::error_code ec;
    std::filesystem::create_directories(known_devices_file().parent_path(), ec);
    std::ofstream out(known_devices_file());
    for (const std::string& a : addresses) out << a << '\n';
}

void add_bluetooth_commands(CLI::App& app) {
    auto* scan = app.add_subcommand("bt-scan", "List the Bluetooth instruments in reach");
    scan->callback([] {
        auto devices = std::make_unique<BT_DEVICES>();
        std::memset(devices.get(), 0, sizeof *devices);
        // The radios search for some seconds; Ctrl-C ends the wait as usual.
        WaitLine line;
        const char* scan_ms = std::getenv("TOLA_BT_SCAN_MS");
        const long seconds = scan_ms != nullptr && *scan_ms != '\0' ? std::strtol(scan_ms, nullptr, 10) / 1000 : 10;
        line.announce("searching for Bluetooth instruments (about " + std::to_string(seconds) +
                      " s; Ctrl-C ends the search)");
        const int32_t result = bTOLA_comm_bt_discovery_ex(devices.get(), sizeof *devices);
        line.clear();
        if (result < 0) throw Failure("no Bluetooth client library (libTolaBtClient.so)", 1);
        if (result == 0) throw Failure("the Bluetooth search failed (no radio, or the library is busy)", 1);
        std::printf("%u instrument(s)\n", devices->iCount);
        std::vector<std::string> found;
        for (std::uint32_t i = 0; i < devices->iCount && i < TOLA_BT_DEVICES_MAX; ++i)
            found.emplace_back(devices->qBtDevice[i].snBtAddress);
        remember_known_devices(found);
        for (std::uint32_t i = 0; i < devices->iCount && i < TOLA_BT_DEVICES_MAX; ++i)
            std::printf("%s  %s\n", devices->qBtDevice[i].snBtAddress,
                        to_utf8(devices->qBtDevice[i].snBtDeviceName).c_str());
    });

    auto address = std::make_shared<std::string>();
    auto* select = app.add_subcommand("bt-select", "Choose the Bluetooth instrument that --port bt connects to");
    select->add_option("ADDRESS", *address, "as bt-scan lists it")->required();
    select->callback([address] {
        if (address->size() >= sizeof(TMNAME)) throw CLI::ValidationError("ADDRESS", "too long");
        const auto file = selected_device_file();
        std::filesystem::create_directories(file.parent_path());
        std::ofstream out(file);
        out << *address << '\n';
        if (!out) throw Failure("cannot write " + file.string(), 1);
        std::printf("selected %s\n", address->c_str());
    });
}

}  // namespace tolactl
