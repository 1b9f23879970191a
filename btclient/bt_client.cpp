// Stand-in for the Bluetooth client library.  Its "radio" is a folder
// ($TOLA_BT_DIR, else $XDG_RUNTIME_DIR/tola/bt, else /tmp/tola-<uid>/bt) where
// each reachable instrument is a Unix stream socket named by its Bluetooth
// address, with "<address>.name" beside it holding the device name.  A search
// lists them, connect opens the chosen one, and the connection is a plain byte
// stream.  One connection at a time, as with the real client.
#include "btclient/client_functions.h"
#include "btclient/client_stream.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

struct Client {
    std::mutex mutex;
    std::string address;  // chosen by set device
    tola::btclient::ClientStream stream;
};

// Never destroyed: a host thread may still be inside a client call while the
// process ends, and the exit must not pull the client's state away beneath it.
Client& client() {
    static Client& c = *new Client;
    return c;
}

fs::path bt_dir() {
    if (const char* d = std::getenv("TOLA_BT_DIR"); d && *d) return d;
    if (const char* x = std::getenv("XDG_RUNTIME_DIR"); x && *x) return fs::path(x) / "tola" / "bt";
    return fs::path("/tmp") / ("tola-" + std::to_string(::getuid())) / "bt";
}

int open_socket(const fs::path& path) {
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    const std::string s = path.string();
    if (s.size() >= sizeof a.sun_path) return -1;
    std::memcpy(a.sun_path, s.c_str(), s.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

TOLA_BT_EXPORT int32_t TolaBtClientInit(void) { return 1; }

TOLA_BT_EXPORT int32_t TolaBtClientConnect(void) {
    Client& c = client();
    std::lock_guard lock(c.mutex);
    c.stream.close();
    if (c.address.empty()) return -1;
    const int fd = open_socket(bt_dir() / c.address);
    if (fd < 0) return -1;
    return c.stream.open(fd);
}

TOLA_BT_EXPORT int32_t TolaBtClientDisConnect(void) {
    Client& c = client();
    std::lock_guard lock(c.mutex);
    c.stream.close();
    return 1;
}

TOLA_BT_EXPORT int32_t TolaBtClientDiscoverDevices(BT_DEVICES* devices) {
    if (!devices) return -1;
    std::memset(devices, 0, sizeof *devices);
    std::error_code ec;
    const fs::path dir = bt_dir();
    if (!fs::is_directory(dir, ec)) return 0;
    std::vector<std::string> addresses;
    for (const auto& entry : fs::directory_iterator(dir, ec))
        if (entry.is_socket(ec)) addresses.push_back(entry.path().filename().string());
    std::sort(addresses.begin(), addresses.end());
    if (addresses.size() > TOLA_BT_DEVICES_MAX) addresses.resize(TOLA_BT_DEVICES_MAX);
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        std::string name;
        std::ifstream in(dir / (addresses[i] + ".name"));
        if (!std::getline(in, name) || name.empty()) name = addresses[i];
        tola::btclient::put_device(devices->qBtDevice[i], addresses[i], name);
    }
    devices->iCount = static_cast<uint32_t>(addresses.size());
    return 1;
}

TOLA_BT_EXPORT int32_t TolaBtClientSetDevice(BT_DEVICE* device) {
    if (!device) return -1;
    Client& c = client();
    std::lock_guard lock(c.mutex);
    c.address.assign(device->snBtAddress, strnlen(device->snBtAddress, sizeof(TMNAME)));
    return 1;
}

TOLA_BT_EXPORT int32_t TolaBtClientExit(void) { return TolaBtClientDisConnect(); }

TOLA_BT_EXPORT int32_t TolaBtClientReadFile(void* buffer, uint32_t length, uint32_t* bytes_read) {
    Client& c = client();
    std::lock_guard lock(c.mutex);
    return c.stream.read(buffer, length, bytes_read);
}

TOLA_BT_EXPORT int32_t TolaBtClientWriteFile(const void* buffer, uint32_t length, uint32_t* bytes_written) {
    Client& c = client();
    std::lock_guard lock(c.mutex);
    return c.stream.write(buffer, length, bytes_written);
}

TOLA_BT_EXPORT int32_t TolaBtClientClearBuffer(void) {
    Client& c = client();
    std::lock_guard lock(c.mutex);
    return c.stream.clear();
}

TOLA_BT_EXPORT int32_t TolaBtClientGetRadioCount(int32_t) {
    std::error_code ec;
    return fs::is_directory(bt_dir(), ec) ? 1 : 0;
}

TOLA_BT_EXPORT int32_t TolaBtClientReInit(void) {
    Client& c = client();
    std::lock_guard lock(c.mutex);
    c.stream.close();
    return 1;
}

TOLA_BT_EXPORT int32_t TolaBtClientGetConnectionStatus(int32_t handle) {
    Client& c = client();
    std::lock_guard lock(c.mutex);
    return c.stream.status(handle);
}
