#include "comm/platform/bt_client_api.h"

#include <dlfcn.h>

#include <cstdlib>

namespace tola::platform {
namespace {

template <class Fn>
void look_up(void* module, const char* name, Fn& slot) {
    slot = reinterpret_cast<Fn>(::dlsym(module, name));
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
    return module;
}

}  // namespace tola::platform
