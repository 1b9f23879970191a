#include "comm/links/bluetooth/bt_link.h"

#include "comm/api/library_state.h"
#include "comm/links/bluetooth/bt_client.h"
#include "comm/links/serial/link_errors.h"
#include "comm/links/serial/memory_transfer.h"
#include "comm/links/serial/memory_windows.h"
#include "comm/platform/process_global.h"

#include <cerrno>

namespace tola::bluetooth {
namespace {

// The client's connection as a byte stream: reads never wait, writes go whole.
class ClientStream final : public serial::ByteStream {
public:
    std::size_t write(const std::uint8_t* data, std::size_t length) override {
        std::uint32_t written = 0;
        client_write(data, static_cast<std::uint32_t>(length), &written);
        error_ = written == length ? 0 : last_error_class();
        return written;
    }
    std::ptrdiff_t read(std::uint8_t* buffer, std::size_t capacity) override {
        std::uint32_t got = 0;
        const std::int32_t ok = client_read(buffer, static_cast<std::uint32_t>(capacity), &got);
        if (ok == 0 || ok == kMissing) {
            error_ = last_error_class();
            return -1;
        }
        return static_cast<std::ptrdiff_t>(got <= capacity ? got : capacity);
    }
    void clear_input() override { client_clear_buffer(); }
    void clear_all() override { client_clear_buffer(); }
    std::uint32_t last_error() override { return error_; }

private:
    // The client reports no error class of its own: a failed transfer is an I/O access failure.
    static std::uint32_t last_error_class() { return 1024; }
    std::uint32_t error_ = 0;
};

struct BluetoothTransport {
    ClientStream stream;
    serial::LinkState state;
    serial::PacketLink link{stream, state, serial::kBluetoothProfile, serial::system_timebase()};
    void (*close_hook)() = nullptr;
    bool connected = false;  // a connection this link made and has not ended, whatever record names it
};

BluetoothTransport& transport() {
    static ProcessGlobal<BluetoothTransport> t;
    return *t;
}

}  // namespace

bool is_bluetooth_kind(const PXM_COMM& c) {
    return c.iDevice == TOLA_DEVICE_BT_MAPPED_A || c.iDevice == TOLA_DEVICE_BT_MAPPED_B;
}

bool connect(PXM_COMM& comm) {
    if (comm.dSize != sizeof(PXM_COMM)) return false;
    if (!is_bound()) bind_if_needed();
    if (is_bound()) comm.hRS232 = client_connect();
    if (comm.hRS232 != -1 && comm.hRS232 != 0) {
        transport().connected = true;
        client_clear_buffer();
        return true;
    }
    comm.snRS232[0] = '\0';
    // A handle of 0 came from the client: only then is there a text to give.
    if (comm.hRS232 == 0) serial::report(serial::LinkError::PortNotAvailable);
    comm.hRS232 = -1;
    return false;
}

void disconnect(PXM_COMM& comm) {
    if (comm.hRS232 == -1) return;
    client_disconnect();
    transport().connected = false;
    comm.hRS232 = -1;
    comm.ssStatus[0] = '\0';
    serial::system_timebase().sleep(kDisconnectSettleMs);
    if (transport().close_hook != nullptr) transport().close_hook();
}

void release() {
    if (!transport().connected) return;
    client_disconnect();
    transport().connected = false;
    serial::system_timebase().sleep(kDisconnectSettleMs);
    if (transport().close_hook != nullptr) transport().close_hook();
}

void set_close_hook(void (*hook)()) { transport().close_hook = hook; }

serial::PacketLink& link() { return transport().link; }
serial::LinkState& link_state() { return transport().state; }

std::uint8_t link_check() { return link().link_check(); }

bool keep_alive() {
    const PXM_COMM* c = valid_record();
    if (c == nullptr || !is_bluetooth_kind(*c)) return false;
    const std::int32_t status = client_connection_status(c->hRS232);
    if (status == 0 || status == -1) return false;
    return serial::PacketLink::link_open() && link().keep_alive();
}

bool memory_read(std::uint32_t address, std::uint8_t* buffer, std::int32_t length) {
    const PXM_COMM* c = valid_record();
    if (c == nullptr || !is_bluetooth_kind(*c)) return false;
    return serial::memory_read(link(), serial::kBluetoothWindows, address, buffer, length);
}

bool memory_write(std::uint32_t address, const std::uint8_t* data, std::int32_t length) {
    const PXM_COMM* c = valid_record();
    if (c == nullptr || !is_bluetooth_kind(*c)) return false;
    return serial::memory_write(link(), serial::kBluetoothWindows, address, data, length);
}

}  // namespace tola::bluetooth
