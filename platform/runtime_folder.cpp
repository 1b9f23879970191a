#include "platform/runtime_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace tola::os {
namespace {

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// dev2 before dev10: a run of digits compares by its value.
bool natural_less(const std::string& a, const std::string& b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const bool da = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
        const bool db = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
        if (da && db) {
            std::size_t ei = i, ej = j;
            while (ei < a.size() && std::isdigit(static_cast<unsigned char>(a[ei])) != 0) ++ei;
            while (ej < b.size() && std::isdigit(static_cast<unsigned char>(b[ej])) != 0) ++ej;
            const std::string na = a.substr(i, ei - i), nb = b.substr(j, ej - j);
            if (na.size() != nb.size()) return na.size() < nb.size();
            if (na != nb) return na < nb;
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j]) return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

}  // namespace

std::string runtime_folder(const char* variable, const char* leaf) {
    if (std::string dir = env(variable); !dir.empty()) return dir;
    if (std::string runtime = env("XDG_RUNTIME_DIR"); !runtime.empty()) return runtime + "/tola/" + leaf;
    return "/tmp/tola-" + std::to_string(::getuid()) + "/" + leaf;
}

std::vector<std::string> usb_channel_sockets() {
    // The device interface class of the instruments' USB driver.
    constexpr const char* kInterfaceClass = "{00873FDF-61A8-11D1-AA5E-00C04FB1728B}";
    const std::string folder = usb_channel_folder();
    std::vector<std::string> names = socket_names_in(folder + "/" + kInterfaceClass);
    for (const std::string& fixed : socket_names_in(folder))
        if (fixed == "Chrmtk0-0" || fixed == "ezusb-0") names.push_back(fixed);
    return names;
}

std::vector<std::string> socket_names_in(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        struct stat st {};
        if (::lstat(entry.path().c_str(), &st) == 0 && S_ISSOCK(st.st_mode))
            names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end(), natural_less);
    return names;
}

}  // namespace tola::os
