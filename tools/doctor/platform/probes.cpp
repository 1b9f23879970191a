#include "tools/doctor/platform/probes.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <grp.h>
#include <link.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace tola::doctor::probe {
namespace {

std::string read_line(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

std::vector<std::string> entries(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            if (e->d_name[0] != '.') names.emplace_back(e->d_name);
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

std::string file_of(const void* symbol) {
    Dl_info info{};
    if (symbol == nullptr || ::dladdr(symbol, &info) == 0 || info.dli_fname == nullptr) return {};
    char real[PATH_MAX];
    return ::realpath(info.dli_fname, real) ? std::string(real) : std::string(info.dli_fname);
}

std::string resolve_library(const std::string& name_or_path, std::string& error) {
    void* module = ::dlopen(name_or_path.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (module == nullptr) {
        const char* why = ::dlerror();
        error = why ? why : "cannot be loaded";
        return {};
    }
    std::string file;
    link_map* map = nullptr;
    if (::dlinfo(module, RTLD_DI_LINKMAP, &map) == 0 && map != nullptr && map->l_name != nullptr) {
        char real[PATH_MAX];
        file = ::realpath(map->l_name, real) ? std::string(real) : std::string(map->l_name);
    }
    ::dlclose(module);
    return file;
}

Folder folder(const std::string& path) {
    Folder f;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return f;
    f.exists = true;
    f.is_dir = S_ISDIR(st.st_mode);
    f.owner = st.st_uid;
    f.mode = st.st_mode & 07777;
    return f;
}

uid_t user() { return ::getuid(); }

std::vector<std::string> sockets_in(const std::string& top) {
    std::vector<std::string> sockets;
    auto add_from = [&](const std::string& dir, bool descend) {
        for (const auto& name : entries(dir)) {
            const std::string path = dir + "/" + name;
            struct stat st {};
            if (::lstat(path.c_str(), &st) != 0) continue;
            if (S_ISSOCK(st.st_mode)) sockets.push_back(path);
            else if (descend && S_ISDIR(st.st_mode)) {
                for (const auto& inner : entries(path)) {
                    const std::string p = path + "/" + inner;
                    if (::lstat(p.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) sockets.push_back(p);
                }
            }
        }
    };
    add_from(top, true);
    return sockets;
}

bool answers(const std::string& socket) {
    sockaddr_un address{};
    if (socket.size() >= sizeof address.sun_path) return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, socket.c_str(), socket.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

std::vector<int> processes_named(const std::string& name) {
    std::vector<int> found;
    const uid_t me = ::getuid();
    for (const auto& entry : entries("/proc")) {
        if (entry.find_first_not_of("0123456789") != std::string::npos) continue;
        struct stat st {};
        const std::string dir = "/proc/" + entry;
        if (::stat(dir.c_str(), &st) != 0 || st.st_uid != me) continue;
        if (read_line(dir + "/comm") == name) found.push_back(std::atoi(entry.c_str()));
    }
    return found;
}

bool file_exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

std::vector<UsbDevice> usb_devices(const std::vector<std::string>& vendors) {
    std::vector<UsbDevice> found;
    const std::string bus = "/sys/bus/usb/devices";
    for (const auto& name : entries(bus)) {
        const std::string dir = bus + "/" + name;
        const std::string vendor = read_line(dir + "/idVendor");
        if (std::find(vendors.begin(), vendors.end(), vendor) == vendors.end()) continue;
        UsbDevice d;
        d.vendor = vendor;
        d.product = read_line(dir + "/idProduct");
        char node[64];
        std::snprintf(node, sizeof node, "/dev/bus/usb/%03d/%03d", std::atoi(read_line(dir + "/busnum").c_str()),
                      std::atoi(read_line(dir + "/devnum").c_str()));
        d.node = node;
        d.accessible = ::access(node, R_OK | W_OK) == 0;
        found.push_back(d);
    }
    return found;
}

Device device(const std::string& path) {
    Device d;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return d;
    d.exists = true;
    d.accessible = ::access(path.c_str(), R_OK | W_OK) == 0;
    if (const group* g = ::getgrgid(st.st_gid)) d.group = g->gr_name;
    return d;
}

bool user_in_group(const std::string& name) {
    const group* g = ::getgrnam(name.c_str());
    if (g == nullptr) return false;
    if (::getegid() == g->gr_gid) return true;
    const int n = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(n, 0)));
    if (n > 0 && ::getgroups(n, groups.data()) < 0) return false;
    return std::find(groups.begin(), groups.end(), g->gr_gid) != groups.end();
}

Bluez bluez() {
    Bluez b;
    sd_bus* bus = nullptr;
    int rc = sd_bus_open_system(&bus);
    if (rc < 0) {
        b.error = std::string("system bus: ") + std::strerror(-rc);
        return b;
    }
    sd_bus_set_method_call_timeout(bus, 2'000'000);
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    rc = sd_bus_call_method(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                            "NameHasOwner", &error, &reply, "s", "org.bluez");
    int has_owner = 0;
    if (rc >= 0) rc = sd_bus_message_read(reply, "b", &has_owner);
    if (rc < 0) {
        b.error = std::string("system bus: ") + (error.message ? error.message : std::strerror(-rc));
    } else if (!has_owner) {
        b.error = "org.bluez is not on the system bus";
    } else {
        b.reachable = true;
        // Adapters are /org/bluez/hci<n>; an absent one answers with an error.
        for (int n = 0; n < 16; ++n) {
            const std::string path = "/org/bluez/hci" + std::to_string(n);
            sd_bus_error e = SD_BUS_ERROR_NULL;
            int powered = 0;
            if (sd_bus_get_property_trivial(bus, "org.bluez", path.c_str(), "org.bluez.Adapter1", "Powered", &e, 'b',
                                            &powered) >= 0) {
                ++b.adapters;
                if (powered) ++b.powered;
            }
            sd_bus_error_free(&e);
        }
    }
    sd_bus_message_unref(reply);
    sd_bus_error_free(&error);
    sd_bus_unref(bus);
    return b;
}

bool writable(const std::string& dir) {
    std::string probe = dir + "/.tola-doctor-XXXXXX";
    const int fd = ::mkstemp(probe.data());
    if (fd < 0) return false;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

}  // namespace tola::doctor::probe
