// What the doctor asks the operating system: files, folders, sockets,
// processes, the USB bus in sysfs, device nodes and BlueZ on the system bus.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace tola::doctor::probe {

// The file a loaded function comes from ("" when unknown).
std::string file_of(const void* symbol);
// The file the plain library name resolves to for the loader, as the library
// itself would load it ("" with error when it cannot be loaded).
std::string resolve_library(const std::string& name_or_path, std::string& error);

struct Folder {
    bool exists = false;
    bool is_dir = false;
    uid_t owner = 0;
    unsigned mode = 0;  // permission bits
};
Folder folder(const std::string& path);
uid_t user();

// The sockets in a folder and its sub-folders (one level), in name order.
std::vector<std::string> sockets_in(const std::string& folder);
// Someone accepts a connection on the socket.
bool answers(const std::string& socket);
// Processes of the calling user whose command name is `name`.
std::vector<int> processes_named(const std::string& name);
bool file_exists(const std::string& path);

struct UsbDevice {
    std::string vendor, product;  // hex as sysfs writes them
    std::string node;             // /dev/bus/usb/BBB/DDD
    bool accessible = false;      // read and write for the calling user
};
std::vector<UsbDevice> usb_devices(const std::vector<std::string>& vendors);

struct Device {
    bool exists = false;
    bool accessible = false;
    std::string group;  // owning group of the node
};
Device device(const std::string& path);
bool user_in_group(const std::string& group);

struct Bluez {
    bool reachable = false;
    std::string error;
    int adapters = 0;
    int powered = 0;
};
Bluez bluez();

// The folder can take a new file (tried, then removed).
bool writable(const std::string& folder);

}  // namespace tola::doctor::probe
