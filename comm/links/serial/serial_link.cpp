#include "comm/links/serial/serial_link.h"

#include "comm/api/bounded_string.h"
#include "comm/api/library_state.h"
#include "comm/links/serial/memory_transfer.h"
#include "comm/links/serial/serial_stream.h"
#include "comm/platform/process_global.h"
#include "comm/platform/serial_port.h"

namespace tola::serial {
namespace {

struct SerialTransport {
    SerialStream stream;
    LinkState state;
    PacketLink link{stream, state, kSerialProfile, system_timebase()};
    void (*close_hook)() = nullptr;
    int open_fd = -1;  // the port this link opened and has not closed, whatever record names it
};


SerialTransport& transport() {
    static ProcessGlobal<SerialTransport> t;
    return *t;
}

void after_close() {
    system_timebase().sleep(kCloseSettleMs);
    if (transport().close_hook != nullptr) transport().close_hook();
}

bool memory_kind() {
    const PXM_COMM* c = valid_record();
    return c != nullptr &&
           (c->iDevice == TOLA_DEVICE_SERIAL_MAPPED_A || c->iDevice == TOLA_DEVICE_SERIAL_MAPPED_B);
}

}  // namespace

bool open_port(PXM_COMM& comm, const char* name) {
    const int fd = name != nullptr ? platform::serial_open(name) : -1;
    if (fd < 0) {
        comm.snRS232[0] = '\0';
        return false;
    }
    bStr_cpy(comm.snRS232, name, sizeof comm.snRS232);
    comm.hRS232 = fd;
    if (!platform::serial_configure(fd, platform::kSerialBaud)) {
        report(LinkError::PortNotAvailable);
        platform::serial_close(fd);
        comm.hRS232 = -1;
        return false;
    }
    transport().open_fd = fd;
    platform::serial_purge(fd, platform::Purge::Both);
    return true;
}

void close_port(PXM_COMM& comm) {
    if (comm.hRS232 == -1) return;
    platform::serial_close(comm.hRS232);
    if (transport().open_fd == comm.hRS232) transport().open_fd = -1;
    comm.hRS232 = -1;
    comm.ssStatus[0] = '\0';
    after_close();
}

void release_port() {
    SerialTransport& t = transport();
    if (t.open_fd == -1) return;
    platform::serial_close(t.open_fd);
    t.open_fd = -1;
    after_close();
}

void set_close_hook(void (*hook)()) { transport().close_hook = hook; }

PacketLink& link() { return transport().link; }
LinkState& link_state() { return transport().state; }

std::uint8_t link_check() { return link().link_check(); }

bool keep_alive() {
    const PXM_COMM* c = valid_record();
    if (c == nullptr) return false;
    switch (c->iDevice) {
        case TOLA_DEVICE_SERIAL_CLASSIC:
        case TOLA_DEVICE_SERIAL_MAPPED_A:
        case TOLA_DEVICE_SERIAL_MAPPED_B:
            return PacketLink::link_open() && link().keep_alive();
        default:
            return true;
    }
}

bool memory_read(std::uint32_t address, std::uint8_t* buffer, std::int32_t length) {
    if (!memory_kind()) return false;
    return serial::memory_read(link(), kSerialWindows, address, buffer, length);
}

bool memory_write(std::uint32_t address, const std::uint8_t* data, std::int32_t length) {
    if (!memory_kind()) return false;
    return serial::memory_write(link(), kSerialWindows, address, data, length);
}

}  // namespace tola::serial
