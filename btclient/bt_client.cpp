// Stand-in for the Bluetooth client library.  Its "radio" is a folder
// ($TOLA_BT_DIR, else $XDG_RUNTIME_DIR/tola/bt, else /tmp/tola-<uid>/bt) where
// each reachable instrument is a Unix stream socket named by its Bluetooth
// address, with "<address>.name" beside it holding the device name.  A search
// lists them, connect opens the chosen one, and the connection is a plain byte
// stream.  One connection at a time, as with the real client.
#include "comm/platform/bt_client_api.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#define TOLA_BT_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

namespace fs = std::filesystem;

struct Client {
    std::mutex mutex;
    std::string address;  // chosen by set device
    int fd = -1;
    int32_t handle = 0;   // of the open connection; 0 while none
    int32_t last_handle = 0;
    bool peer_closed = false;
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

void copy_text(char* out, std::size_t capacity, const std::string& text) {
    const std::size_t n = std::min(text.size(), capacity - 1);
    std::memcpy(out, text.data(), n);
    std::memset(out + n, 0, capacity - n);
}

void close_locked(Client& c) {
    if (c.fd >= 0) ::close(c.fd);
    c.fd = -1;
    c.handle = 0;
    c.peer_closed = false;
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
    close_locked(c);
    if (c.address.empty()) return -1;
    c.fd = open_socket(bt_dir() / c.address);
    if (c.fd < 0) return -1;
    c.last_handle = c.last_handle >= 0x7FFF ? 1 : c.last_handle + 1;
    c.handle = c.last_handle;
    return c.handle;
}

TOLA_BT_EXPORT int32_t TolaBtClientDisConnect(void) {
    Client& c = client();
    std::lock_guard lock(c.mutex);
    close_locked(c);
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
        copy_text(devices->qBtDevice[i].snBtAddress, sizeof(TMNAME), addresses[i]);
        copy_text(devices->qBtDevice[i].snBtDeviceName, sizeof(TMNAME), name);
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
    if (bytes_read) *bytes_read = 0;
    if (!buffer || !bytes_read) return 0;
    Client& c = client();
    std::lock_guard lock(c.mutex);
    if (c.fd < 0) return 0;
    if (length == 0) return 1;
    for (;;) {
        const ssize_t n = ::recv(c.fd, buffer, length, MSG_DONTWAIT);
        if (n > 0) {
            *bytes_read = static_cast<uint32_t>(n);
            return 1;
        }
        if (n == 0) {
            c.peer_closed = true;
            return 1;
        }
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? 1 : 0;
    }
}

TOLA_BT_EXPORT int32_t TolaBtClientWriteFile(const void* buffer, uint32_t length, uint32_t* bytes_written) {
    if (bytes_written) *bytes_written = 0;
    if (!buffer || !bytes_written) return 0;
    Client& c = client();
    std::lock_guard lock(c.mutex);
    if (c.fd < 0) return 0;
    const auto* p = static_cast<const std::uint8_t*>(buffer);
    uint32_t done = 0;
    while (done < length) {
        const ssize_t n = ::send(c.fd, p + done, length - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<uint32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd w{c.fd, POLLOUT, 0};
            if (::poll(&w, 1, 2000) > 0) continue;  // the instrument stopped reading: give up
        }
        break;
    }
    *bytes_written = done;
    return done == length ? 1 : 0;
}

TOLA_BT_EXPORT int32_t TolaBtClientClearBuffer(void) {
    Client& c = client();
    std::lock_guard lock(c.mutex);
    if (c.fd < 0) return 0;
    char sink[4096];
    for (;;) {
        const ssize_t n = ::recv(c.fd, sink, sizeof sink, MSG_DONTWAIT);
        if (n > 0) continue;
        if (n == 0) c.peer_closed = true;
        if (n < 0 && errno == EINTR) continue;
        return 1;
    }
}

TOLA_BT_EXPORT int32_t TolaBtClientGetRadioCount(int32_t) {
    std::error_code ec;
    return fs::is_directory(bt_dir(), ec) ? 1 : 0;
}

TOLA_BT_EXPORT int32_t TolaBtClientReInit(void) {
    Client& c = client();
    std::lock_guard lock(c.mutex);
    close_locked(c);
    return 1;
}

TOLA_BT_EXPORT int32_t TolaBtClientGetConnectionStatus(int32_t handle) {
    Client& c = client();
    std::lock_guard lock(c.mutex);
    if (c.fd < 0 || handle != c.handle || c.peer_closed) return 0;
    pollfd p{c.fd, static_cast<short>(POLLIN | POLLRDHUP), 0};
    if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLRDHUP | POLLERR))) {
        c.peer_closed = true;
        return 0;
    }
    return 1;
}

// The library binds these by name through the shared signatures.
static_assert(std::is_same_v<decltype(&TolaBtClientInit), TolaBtClientInit_fn>);
static_assert(std::is_same_v<decltype(&TolaBtClientConnect), TolaBtClientConnect_fn>);
static_assert(std::is_same_v<decltype(&TolaBtClientDisConnect), TolaBtClientDisConnect_fn>);
static_assert(std::is_same_v<decltype(&TolaBtClientDiscoverDevices), TolaBtClientDiscoverDevices_fn>);
static_assert(std::is_same_v<decltype(&TolaBtClientSetDevice), TolaBtClientSetDevice_fn>);
static_assert(std::is_same_v<decltype(&TolaBtClientExit), TolaBtClientExit_fn>);
static_assert(std::is_same_v<decltype(&TolaBtClientReadFile), TolaBtClientReadFile_fn>);
static_assert(std::is_same_v<decltype(&TolaBtClientWriteFile), TolaBtClientWriteFile_fn>);
static_assert(std::is_same_v<decltype(&TolaBtClientClearBuffer), TolaBtClientClearBuffer_fn>);
static_assert(std::is_same_v<decltype(&TolaBtClientGetRadioCount), TolaBtClientGetRadioCount_fn>);
static_assert(std::is_same_v<decltype(&TolaBtClientReInit), TolaBtClientReInit_fn>);
static_assert(std::is_same_v<decltype(&TolaBtClientGetConnectionStatus), TolaBtClientGetConnectionStatus_fn>);
