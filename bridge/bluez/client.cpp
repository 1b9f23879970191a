// The twelve client functions over BlueZ.  The search asks BlueZ on the system
// bus; a connection is an RFCOMM socket to the chosen device, read without
// waiting and written whole.  One connection at a time, as the library uses it.
#include "bridge/bluez/client.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "bridge/bluez/bluez_search.h"
#include "btclient/client_functions.h"
#include "btclient/client_stream.h"

namespace tola::bluez {

struct Client {
    std::mutex mutex;
    std::string address;  // chosen by set device
    btclient::ClientStream stream;
    Connector connector = rfcomm_connector();
};

// Built on first use and never destroyed: a program may end while another of
// its threads is inside a client call, and the exit must not pull the client
// (its mutex, its connection) from under that thread, as the library's own
// process-wide state is kept.
Client& client() {
    static Client* const c = new Client;
    return *c;
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
    c.stream.close();
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
    const int fd = c.connector.connect(*address, *channel, why);
    if (fd < 0) {
        tola::bluez::report("cannot connect to " + c.address + ": " + why);
        return -1;
    }
    return c.stream.open(fd);
}

TOLA_BT_EXPORT int32_t TolaBtClientDisConnect(void) {
    auto& c = client();
    std::lock_guard lock(c.mutex);
    c.stream.close();
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
        tola::btclient::put_device(devices->qBtDevice[i], found.devices[i].address, found.devices[i].name);
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
    auto& c = client();
    std::lock_guard lock(c.mutex);
    return c.stream.read(buffer, length, bytes_read);
}

TOLA_BT_EXPORT int32_t TolaBtClientWriteFile(const void* buffer, uint32_t length, uint32_t* bytes_written) {
    auto& c = client();
    std::lock_guard lock(c.mutex);
    return c.stream.write(buffer, length, bytes_written);
}

TOLA_BT_EXPORT int32_t TolaBtClientClearBuffer(void) {
    auto& c = client();
    std::lock_guard lock(c.mutex);
    return c.stream.clear();
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
    c.stream.close();
    return 1;
}

TOLA_BT_EXPORT int32_t TolaBtClientGetConnectionStatus(int32_t handle) {
    auto& c = client();
    std::lock_guard lock(c.mutex);
    return c.stream.status(handle);
}
