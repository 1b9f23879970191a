#include "bridge/bluez/bluez_search.h"

#include <strings.h>
#include <systemd/sd-bus.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

namespace tola::bluez {
namespace {

constexpr const char* kService = "org.bluez";
constexpr const char* kAdapter = "org.bluez.Adapter1";
constexpr const char* kDevice = "org.bluez.Device1";
constexpr int kDefaultScanMs = 10000;
constexpr const char* kSerialPortUuid = "00001101-0000-1000-8000-00805f9b34fb";

struct BusDeleter {
    void operator()(sd_bus* b) const { sd_bus_flush_close_unref(b); }
};
struct MessageDeleter {
    void operator()(sd_bus_message* m) const { sd_bus_message_unref(m); }
};
using Bus = std::unique_ptr<sd_bus, BusDeleter>;
using Message = std::unique_ptr<sd_bus_message, MessageDeleter>;

class Error {
public:
    ~Error() { sd_bus_error_free(&e_); }
    sd_bus_error* get() { return &e_; }
    std::string text(int rc) const {
        if (e_.name && std::strcmp(e_.name, "org.freedesktop.DBus.Error.ServiceUnknown") == 0)
            return "BlueZ is not running (no org.bluez on the system bus)";
        if (e_.message) return e_.message;
        return std::strerror(-rc);
    }

private:
    sd_bus_error e_ = SD_BUS_ERROR_NULL;
};

struct Objects {
    struct Adapter {
        bool powered = false;
    };
    struct Device {
        std::string address, name, alias, adapter;
        bool paired = false;
        bool serial_port = false;
    };
    std::map<std::string, Adapter> adapters;  // by object path
    std::vector<Device> devices;
};

Bus open_bus(std::string& error) {
    sd_bus* raw = nullptr;
    const int rc = sd_bus_open_system(&raw);
    if (rc < 0) {
        error = std::string("no system bus: ") + std::strerror(-rc);
        return nullptr;
    }
    return Bus(raw);
}

// Whether a string array value holds the text (case-insensitive, as UUIDs are compared).
int read_list_holds(sd_bus_message* m, const char* wanted, bool* holds) {
    int rc = sd_bus_message_enter_container(m, 'v', "as");
    if (rc < 0) return rc;
    if ((rc = sd_bus_message_enter_container(m, 'a', "s")) < 0) return rc;
    const char* s = nullptr;
    while ((rc = sd_bus_message_read_basic(m, 's', &s)) > 0)
        if (s && ::strcasecmp(s, wanted) == 0) *holds = true;
    if (rc < 0) return rc;
    if ((rc = sd_bus_message_exit_container(m)) < 0) return rc;
    return sd_bus_message_exit_container(m);
}

// Reads a property value of type 's', 'o' or 'b' into text or flag, or tells
// whether an 'as' value holds `in_list`; skips anything else.
int read_value(sd_bus_message* m, std::string* text, bool* flag, bool* in_list = nullptr, const char* wanted = nullptr) {
    char type = 0;
    const char* contents = nullptr;
    int rc = sd_bus_message_peek_type(m, &type, &contents);
    if (rc < 0) return rc;
    if (in_list && contents && std::strcmp(contents, "as") == 0) return read_list_holds(m, wanted, in_list);
    const bool wanted_text = text && contents && (std::strcmp(contents, "s") == 0 || std::strcmp(contents, "o") == 0);
    const bool wanted_flag = flag && contents && std::strcmp(contents, "b") == 0;
    if (!wanted_text && !wanted_flag) return sd_bus_message_skip(m, "v");
    if ((rc = sd_bus_message_enter_container(m, 'v', contents)) < 0) return rc;
    if (wanted_text) {
        const char* s = nullptr;
        rc = sd_bus_message_read_basic(m, contents[0], &s);
        if (rc >= 0 && s) *text = s;
    } else {
        int b = 0;
        rc = sd_bus_message_read_basic(m, 'b', &b);
        if (rc >= 0) *flag = b != 0;
    }
    if (rc < 0) return rc;
    return sd_bus_message_exit_container(m);
}

int read_properties(sd_bus_message* m, const std::string& path, const std::string& interface, Objects& out) {
    int rc = sd_bus_message_enter_container(m, 'a', "{sv}");
    if (rc < 0) return rc;
    Objects::Device device;
    Objects::Adapter adapter;
    while ((rc = sd_bus_message_enter_container(m, 'e', "sv")) > 0) {
        const char* name = nullptr;
        if ((rc = sd_bus_message_read_basic(m, 's', &name)) < 0) return rc;
        const std::string key = name ? name : "";
        std::string* text = nullptr;
        bool* flag = nullptr;
        bool* in_list = nullptr;
        if (interface == kDevice) {
            if (key == "Address") text = &device.address;
            else if (key == "Name") text = &device.name;
            else if (key == "Alias") text = &device.alias;
            else if (key == "Adapter") text = &device.adapter;
            else if (key == "Paired") flag = &device.paired;
            else if (key == "UUIDs") in_list = &device.serial_port;
        } else if (interface == kAdapter && key == "Powered") {
            flag = &adapter.powered;
        }
        if ((rc = read_value(m, text, flag, in_list, kSerialPortUuid)) < 0) return rc;
        if ((rc = sd_bus_message_exit_container(m)) < 0) return rc;
    }
    if (rc < 0) return rc;
    if (interface == kAdapter) out.adapters[path] = adapter;
    if (interface == kDevice && !device.address.empty()) out.devices.push_back(device);
    return sd_bus_message_exit_container(m);
}

// org.freedesktop.DBus.ObjectManager.GetManagedObjects of BlueZ, reduced to
// adapters and devices.
bool managed_objects(sd_bus* bus, Objects& out, std::string& error) {
    Error e;
    sd_bus_message* raw = nullptr;
    int rc = sd_bus_call_method(bus, kService, "/", "org.freedesktop.DBus.ObjectManager", "GetManagedObjects", e.get(),
                                &raw, "");
    if (rc < 0) {
        error = e.text(rc);
        return false;
    }
    Message reply(raw);
    sd_bus_message* m = reply.get();
    out = Objects{};
    if ((rc = sd_bus_message_enter_container(m, 'a', "{oa{sa{sv}}}")) < 0) goto bad;
    while ((rc = sd_bus_message_enter_container(m, 'e', "oa{sa{sv}}")) > 0) {
        const char* path = nullptr;
        if ((rc = sd_bus_message_read_basic(m, 'o', &path)) < 0) goto bad;
        if ((rc = sd_bus_message_enter_container(m, 'a', "{sa{sv}}")) < 0) goto bad;
        while ((rc = sd_bus_message_enter_container(m, 'e', "sa{sv}")) > 0) {
            const char* interface = nullptr;
            if ((rc = sd_bus_message_read_basic(m, 's', &interface)) < 0) goto bad;
            if ((rc = read_properties(m, path, interface, out)) < 0) goto bad;
            if ((rc = sd_bus_message_exit_container(m)) < 0) goto bad;
        }
        if (rc < 0 || (rc = sd_bus_message_exit_container(m)) < 0 || (rc = sd_bus_message_exit_container(m)) < 0)
            goto bad;
    }
    if (rc >= 0) return true;
bad:
    error = std::string("BlueZ's object list cannot be read: ") + std::strerror(-rc);
    return false;
}

// Lets the scan run for its time, handling what arrives on the bus meanwhile.
void let_scan_run(sd_bus* bus, int scan_ms) {
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::milliseconds(scan_ms);
    for (;;) {
        while (sd_bus_process(bus, nullptr) > 0) {
        }
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(end - Clock::now()).count();
        if (left <= 0) return;
        if (sd_bus_wait(bus, static_cast<std::uint64_t>(left)) < 0) return;
    }
}

}  // namespace

int scan_time_ms() {
    if (const char* v = std::getenv("TOLA_BT_SCAN_MS"); v && *v) {
        char* end = nullptr;
        const long ms = std::strtol(v, &end, 10);
        if (end && *end == '\0' && ms >= 0 && ms <= 120000) return static_cast<int>(ms);
    }
    return kDefaultScanMs;
}

int count_adapters(std::string& error) {
    Bus bus = open_bus(error);
    if (!bus) return 0;
    Objects objects;
    if (!managed_objects(bus.get(), objects, error)) return 0;
    return static_cast<int>(objects.adapters.size());
}

SearchResult search(int scan_ms) {
    SearchResult result;
    Bus bus = open_bus(result.error);
    if (!bus) return result;
    Objects objects;
    if (!managed_objects(bus.get(), objects, result.error)) return result;
    result.adapters = static_cast<int>(objects.adapters.size());
    if (objects.adapters.empty()) {
        result.error = "no Bluetooth adapter";
        return result;
    }
    // A radio the user switched off is switched on only for the search: it is
    // switched off again whatever happens.
    std::vector<std::string> switched_on, scanning;
    std::string failure;
    for (const auto& [path, adapter] : objects.adapters) {
        if (!adapter.powered) {
            Error e;
            if (const int rc = sd_bus_set_property(bus.get(), kService, path.c_str(), kAdapter, "Powered", e.get(), "b", 1);
                rc < 0) {
                failure = path + " cannot be switched on: " + e.text(rc);
                break;
            }
            switched_on.push_back(path);
        }
        // The instruments speak the Serial Port Profile: classic Bluetooth only.
        Error filter;
        sd_bus_call_method(bus.get(), kService, path.c_str(), kAdapter, "SetDiscoveryFilter", filter.get(), nullptr,
                           "a{sv}", 1, "Transport", "s", "bredr");
        Error start;
        if (const int rc = sd_bus_call_method(bus.get(), kService, path.c_str(), kAdapter, "StartDiscovery", start.get(),
                                              nullptr, "");
            rc < 0) {
            failure = path + " cannot search: " + start.text(rc);
            break;
        }
        scanning.push_back(path);
    }
    if (failure.empty()) let_scan_run(bus.get(), scan_ms);
    for (const auto& path : scanning) {
        Error e;
        sd_bus_call_method(bus.get(), kService, path.c_str(), kAdapter, "StopDiscovery", e.get(), nullptr, "");
    }
    const bool listed = failure.empty() && managed_objects(bus.get(), objects, result.error);
    for (const auto& path : switched_on) {
        Error e;
        sd_bus_set_property(bus.get(), kService, path.c_str(), kAdapter, "Powered", e.get(), "b", 0);
    }
    if (!failure.empty()) result.error = failure;
    if (!listed) return result;
    for (const auto& d : objects.devices) {
        if (!objects.adapters.count(d.adapter)) continue;
        result.devices.push_back({d.address, !d.name.empty() ? d.name : !d.alias.empty() ? d.alias : d.address,
                                  d.serial_port || d.paired});
    }
    // The list is cut at 50 entries: the likely instruments must come before that.
    std::sort(result.devices.begin(), result.devices.end(), [](const FoundDevice& a, const FoundDevice& b) {
        if (a.likely != b.likely) return a.likely;
        return a.address < b.address;
    });
    result.ok = true;
    return result;
}

}  // namespace tola::bluez
