#include "comm/links/bluetooth/bt_client.h"

#include "comm/platform/bt_client_api.h"

namespace tola::bluetooth {
namespace {

struct Binding {
    void* module = nullptr;
    platform::BtClientFunctions functions;
};

Binding& binding() {
    static Binding b;
    return b;
}

template <class Fn, class... Args>
std::int32_t guarded(Fn fn, Args... args) {
    return fn != nullptr ? fn(args...) : kMissing;
}

}  // namespace

bool is_bound() { return binding().module != nullptr; }

std::int32_t bind_if_needed() {
    Binding& b = binding();
    if (b.module != nullptr) return 0;
    b.module = platform::load_bt_client(b.functions);
    if (b.module == nullptr || b.functions.init == nullptr) return 0;
    return b.functions.init();
}

std::int32_t client_connect() { return guarded(binding().functions.connect); }
std::int32_t client_disconnect() { return guarded(binding().functions.disconnect); }
std::int32_t client_discover(BT_DEVICES& d) { return guarded(binding().functions.discover_devices, &d); }
std::int32_t client_set_device(BT_DEVICE& d) { return guarded(binding().functions.set_device, &d); }
std::int32_t client_read(void* buffer, std::uint32_t length, std::uint32_t* bytes_read) {
    return guarded(binding().functions.read_file, buffer, length, bytes_read);
}
std::int32_t client_write(const void* buffer, std::uint32_t length, std::uint32_t* bytes_written) {
    return guarded(binding().functions.write_file, buffer, length, bytes_written);
}
std::int32_t client_clear_buffer() { return guarded(binding().functions.clear_buffer); }
std::int32_t client_radio_count(std::int32_t value) { return guarded(binding().functions.get_radio_count, value); }
std::int32_t client_reinit() { return guarded(binding().functions.reinit); }
std::int32_t client_connection_status(std::int32_t handle) {
    return guarded(binding().functions.get_connection_status, handle);
}

}  // namespace tola::bluetooth
