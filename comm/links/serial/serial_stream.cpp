#include "comm/links/serial/serial_stream.h"

#include "comm/api/library_state.h"
#include "comm/platform/serial_port.h"

namespace tola::serial {
namespace {

int port_fd() {
    const PXM_COMM* c = valid_record();
    return c != nullptr ? c->hRS232 : -1;
}

}  // namespace

std::size_t SerialStream::write(const std::uint8_t* data, std::size_t length) {
    return platform::serial_write(port_fd(), data, length);
}

std::ptrdiff_t SerialStream::read(std::uint8_t* buffer, std::size_t capacity) {
    return platform::serial_read(port_fd(), buffer, capacity);
}

void SerialStream::clear_input() { platform::serial_purge(port_fd(), platform::Purge::Input); }

void SerialStream::clear_all() { platform::serial_purge(port_fd(), platform::Purge::Both); }

std::uint32_t SerialStream::last_error() { return platform::serial_last_error(port_fd()); }

}  // namespace tola::serial
