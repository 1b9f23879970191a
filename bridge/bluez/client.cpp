// The twelve client functions over BlueZ.  The search asks BlueZ on the system
// bus; a connection is an RFCOMM socket to the chosen device, read without
// waiting and written whole.  One connection at a time, as the library uses it.
#include "bridge/bluez/client.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <type_traits>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "bridge/bluez/bluez_search.h"
#include "comm/platform/bt_client_api.h"

#define TOLA_BT_EXPORT extern "C" __attribute__((visibility("default")))

namespace tola::bluez {

// A peer that stops reading gets this long to take more before a write gives up.
constexpr int kWriteStallMs = 2000;

struct Client {
    std::mutex mutex;
    std::string address;  // chosen by set device
    int fd = -1;
    int32_t handle = 0;  // of the open connection; 0 while none
    int32_t last_handle = 0;
    bool peer_closed = false;
    Connector connector = rfcomm_connector();
};

Client& client() {
    static Client c;
    return c;
}

void close_locked(Client& c) {
    if (c.fd >= 0) ::close(c.fd);
    c.fd = -1;
    c.handle = 0;
    c.peer_closed = false;
}

void copy_text(char* out, std::size_t capacity, const std::string& text) {
    const std::size_t n = std::min(text.size(), capacity - 1);
    std::memcpy(out, text.data(), n);
    std::memset(out + n, 0, capacity - n);
}

Connector rfcomm_connector() {
    return Connector{find_serial_port_channel, [](const Address& a, int channel, std::string& error) {
                         return connect_rfcomm(a, channel, kConnectTimeoutMs, error);
                     }};
}

void set_connector(Connector connector) {
    Client& c = client();
    std::lock_guard lock(c.mutex);
    c.connector = std::move(connector);
}

void report(const std::string& text) { std::fprintf(stderr, "TolaBtClient: %s\n", text.c_str()); }

}  // namespace tola::bluez

using tola::bluez::client;

TOLA_BT_EXPORT int32_t TolaBtClientInit(void) { return 1; }

TOLA_BT_EXPORT int32_t TolaBtClientConnect(void) {
    auto& c = client();
    std::lock_guard lock(c.mutex);
    tola::bluez::close_locked(c);
    if (c.address.empty()) {
        tola::bluez::report("no device chosen to connect to");
        return -1;
    }
    const auto address = tola::bluez::parse_address(c.address);
    if (!address) {
        tola::bluez::report("\"" + c.address + "\" is no Bluetooth address");
        return -1;
    }
    std::string why;
    auto channel = c.connector.find_channel(*address, why);
    if (!channel) {
        tola::bluez::report(c.address + ": " + why + "; trying channel 1");
        channel = tola::bluez::kDefaultChannel;
    }
    why.clear();
    c.fd = c.connector.connect(*address, *channel, why);
    if (c.fd < 0) {
        tola::bluez::report("cannot connect to " + c.address + ": " + why);
        return -1;
    }
    c.last_handle = c.last_handle >= 0x7FFF ? 1 : c.last_handle + 1;
    c.handle = c.last_handle;
    return c.handle;
}

TOLA_BT_EXPORT int32_t TolaBtClientDisConnect(void) {
    auto& c = client();
    std::lock_guard lock(c.mutex);
    tola::bluez::close_locked(c);
    return 1;
}

TOLA_BT_EXPORT int32_t TolaBtClientDiscoverDevices(BT_DEVICES* devices) {
    if (!devices) return 0;
    std::memset(devices, 0, sizeof *devices);
    const auto found = tola::bluez::search(tola::bluez::scan_time_ms());
    if (!found.ok) {
        tola::bluez::report("search failed: " + found.error);
        return 0;
    }
    const std::size_t n = std::min<std::size_t>(found.devices.size(), TOLA_BT_DEVICES_MAX);
    for (std::size_t i = 0; i < n; ++i) {
        tola::bluez::copy_text(devices->qBtDevice[i].snBtAddress, sizeof(TMNAME), found.devices[i].address);
        tola::bluez::copy_text(devices->qBtDevice[i].snBtDeviceName, sizeof(TMNAME), found.devices[i].name);
    }
    devices->iCount = static_cast<uint32_t>(n);
    return 1;
}

TOLA_BT_EXPORT int32_t TolaBtClientSetDevice(BT_DEVICE* device) {
    if (!device) return 0;
    auto& c = client();
    std::lock_guard lock(c.mutex);
    c.address.assign(device->snBtAddress, strnlen(device->snBtAddress, sizeof(TMNAME)));
    return 1;
}

TOLA_BT_EXPORT int32_t TolaBtClientExit(void) { return TolaBtClientDisConnect(); }

TOLA_BT_EXPORT int32_t TolaBtClientReadFile(void* buffer, uint32_t length, uint32_t* bytes_read) {
    if (bytes_read) *bytes_read = 0;
    if (!buffer || !bytes_read) return 0;
    auto& c = client();
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
        if (errno == EAGAIN || errno == EWOULDBLOCK) return 1;
        c.peer_closed = true;  // the link is gone (ECONNRESET, EHOSTDOWN, ...)
        return 0;
    }
}

TOLA_BT_EXPORT int32_t TolaBtClientWriteFile(const void* buffer, uint32_t length, uint32_t* bytes_written) {
    if (bytes_written) *bytes_written = 0;
    if (!buffer || !bytes_written) return 0;
    auto& c = client();
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
            if (::poll(&w, 1, tola::bluez::kWriteStallMs) > 0) continue;
        }
        break;
    }
    *bytes_written = done;
    return done == length ? 1 : 0;
}

TOLA_BT_EXPORT int32_t TolaBtClientClearBuffer(void) {
    auto& c = client();
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
    std::string error;
    const int n = tola::bluez::count_adapters(error);
    if (!error.empty()) tola::bluez::report(error);
    return n;
}

TOLA_BT_EXPORT int32_t TolaBtClientReInit(void) {
    auto& c = client();
    std::lock_guard lock(c.mutex);
    tola::bluez::close_locked(c);
    return 1;
}

TOLA_BT_EXPORT int32_t TolaBtClientGetConnectionStatus(int32_t handle) {
    auto& c = client();
    std::lock_guard lock(c.mutex);
    if (c.fd < 0 || handle != c.handle || c.peer_closed) return 0;
    pollfd p{c.fd, static_cast<short>(POLLIN | POLLRDHUP), 0};
    if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLRDHUP | POLLERR))) {
        c.peer_closed = true;
        return 0;
    }
    return 1;
}

// The library binds these by name through the shared signatures, as it binds the stand-in's.
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
