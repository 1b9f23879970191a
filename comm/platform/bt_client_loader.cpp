#include "comm/platform/bt_client_api.h"

#include "comm/platform/link_recorder.h"

#include <dlfcn.h>

#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>

namespace tola::platform {
namespace {

template <class Fn>
void look_up(void* module, const char* name, Fn& slot) {
    slot = reinterpret_cast<Fn>(::dlsym(module, name));
}

// With a record being written, the client's connection and byte functions are
// taken through these, which pass every call on and write down what went by.
struct Recorded {
    BtClientFunctions real;
    std::mutex mutex;
    std::string address;  // of the device last set
};

Recorded& recorded() {
    static Recorded r;  // set once, before any call can reach the trampolines
    return r;
}

extern "C" int32_t recorded_set_device(BT_DEVICE* device) {
    if (device != nullptr) {
        std::lock_guard lock(recorded().mutex);
        recorded().address.assign(device->snBtAddress, strnlen(device->snBtAddress, sizeof device->snBtAddress));
    }
    return recorded().real.set_device(device);
}

extern "C" int32_t recorded_connect(void) {
    const int32_t handle = recorded().real.connect();
    if (handle != 0 && handle != -1) {
        std::string address;
        {
            std::lock_guard lock(recorded().mutex);
            address = recorded().address;
        }
        recorder::event("bt", "open", address.empty() ? "-" : address);
    }
    return handle;
}

extern "C" int32_t recorded_disconnect(void) {
    recorder::event("bt", "close", {});
    return recorded().real.disconnect();
}

extern "C" int32_t recorded_read(void* buffer, uint32_t length, uint32_t* bytes_read) {
    const int32_t ok = recorded().real.read_file(buffer, length, bytes_read);
    if (ok != 0 && bytes_read != nullptr && *bytes_read > 0)
        recorder::bytes("bt", "rx",
                        std::span(static_cast<const std::uint8_t*>(buffer), std::min(*bytes_read, length)));
    return ok;
}

extern "C" int32_t recorded_write(const void* buffer, uint32_t length, uint32_t* bytes_written) {
    const int32_t ok = recorded().real.write_file(buffer, length, bytes_written);
    if (bytes_written != nullptr && *bytes_written > 0)
        recorder::bytes("bt", "tx",
                        std::span(static_cast<const std::uint8_t*>(buffer), std::min(*bytes_written, length)));
    return ok;
}

void record_through(BtClientFunctions& f) {
    if (!recorder::active()) return;
    recorded().real = f;
    if (f.set_device) f.set_device = recorded_set_device;
    if (f.connect) f.connect = recorded_connect;
    if (f.disconnect) f.disconnect = recorded_disconnect;
    if (f.read_file) f.read_file = recorded_read;
    if (f.write_file) f.write_file = recorded_write;
}

}  // namespace

void* load_bt_client(BtClientFunctions& f) {
    f = BtClientFunctions{};
    // $TOLA_BT_CLIENT names a client file and so forces one client over the
    // installed layout (the BlueZ client beside the library, the stand-in
    // beside the virtual instrument).
    const char* forced = std::getenv(kBtClientVariable);
    void* module = ::dlopen(forced && *forced ? forced : kBtClientLibraryName, RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) return nullptr;
    look_up(module, "TolaBtClientInit", f.init);
    look_up(module, "TolaBtClientConnect", f.connect);
    look_up(module, "TolaBtClientDisConnect", f.disconnect);
    look_up(module, "TolaBtClientDiscoverDevices", f.discover_devices);
    look_up(module, "TolaBtClientSetDevice", f.set_device);
    look_up(module, "TolaBtClientExit", f.exit);
    look_up(module, "TolaBtClientReadFile", f.read_file);
    look_up(module, "TolaBtClientWriteFile", f.write_file);
    look_up(module, "TolaBtClientClearBuffer", f.clear_buffer);
    look_up(module, "TolaBtClientGetRadioCount", f.get_radio_count);
    look_up(module, "TolaBtClientReInit", f.reinit);
    look_up(module, "TolaBtClientGetConnectionStatus", f.get_connection_status);
    record_through(f);
    return module;
}

}  // namespace tola::platform
