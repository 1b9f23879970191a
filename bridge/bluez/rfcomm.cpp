#include "bridge/bluez/rfcomm.h"

#include <bluetooth/bluetooth.h>
#include <bluetooth/rfcomm.h>
#include <bluetooth/sdp.h>
#include <bluetooth/sdp_lib.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tola::bluez {
namespace {

constexpr int kSdpConnectTimeoutMs = 5000;
constexpr std::uint16_t kSerialPortClass = 0x1101;

bdaddr_t to_bdaddr(const Address& a) {
    bdaddr_t b{};
    for (std::size_t i = 0; i < 6; ++i) b.b[i] = a[5 - i];  // BlueZ keeps addresses least significant byte first
    return b;
}

// Waits until a non-blocking connect has finished; 0 or the errno of its failure.
int finish_connect(int fd, int timeout_ms) {
    pollfd p{fd, POLLOUT, 0};
    int ready = 0;
    do ready = ::poll(&p, 1, timeout_ms);
    while (ready < 0 && errno == EINTR);
    if (ready == 0) return ETIMEDOUT;
    if (ready < 0) return errno;
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return errno;
    return error;
}

std::optional<int> channel_of(sdp_record_t* record) {
    sdp_list_t* protocols = nullptr;
    std::optional<int> channel;
    if (sdp_get_access_protos(record, &protocols) == 0) {
        const int c = sdp_get_proto_port(protocols, RFCOMM_UUID);
        if (c > 0 && c <= 30) channel = c;
        for (sdp_list_t* p = protocols; p; p = p->next) sdp_list_free(static_cast<sdp_list_t*>(p->data), nullptr);
        sdp_list_free(protocols, nullptr);
    }
    return channel;
}

}  // namespace

std::optional<Address> parse_address(const std::string& text) {
    if (text.size() != 17) return std::nullopt;
    Address a{};
    for (std::size_t i = 0; i < 6; ++i) {
        const char hi = text[i * 3], lo = text[i * 3 + 1];
        if (!std::isxdigit(static_cast<unsigned char>(hi)) || !std::isxdigit(static_cast<unsigned char>(lo)) ||
            (i < 5 && text[i * 3 + 2] != ':'))
            return std::nullopt;
        auto v = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : (std::tolower(c) - 'a' + 10); };
        a[i] = static_cast<std::uint8_t>(v(hi) << 4 | v(lo));
    }
    return a;
}

std::optional<int> find_serial_port_channel(const Address& address, std::string& error) {
    const bdaddr_t any{};
    const bdaddr_t target = to_bdaddr(address);
    sdp_session_t* session = sdp_connect(&any, &target, SDP_NON_BLOCKING);
    if (!session) {
        error = std::string("no service record: ") + std::strerror(errno);
        return std::nullopt;
    }
    const int fd = sdp_get_socket(session);
    if (const int e = finish_connect(fd, kSdpConnectTimeoutMs); e != 0) {
        error = std::string("no service record: ") + std::strerror(e);
        sdp_close(session);
        return std::nullopt;
    }
    // The query itself waits for its answer; it needs a blocking socket.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);

    uuid_t serial_port;
    sdp_uuid16_create(&serial_port, kSerialPortClass);
    sdp_list_t* search = sdp_list_append(nullptr, &serial_port);
    std::uint32_t range = 0x0000FFFF;
    sdp_list_t* attributes = sdp_list_append(nullptr, &range);
    sdp_list_t* records = nullptr;
    std::optional<int> channel;
    if (sdp_service_search_attr_req(session, search, SDP_ATTR_REQ_RANGE, attributes, &records) == 0) {
        for (sdp_list_t* r = records; r && !channel; r = r->next) channel = channel_of(static_cast<sdp_record_t*>(r->data));
        for (sdp_list_t* r = records; r; r = r->next) sdp_record_free(static_cast<sdp_record_t*>(r->data));
        sdp_list_free(records, nullptr);
        if (!channel) error = "the device lists no Serial Port service";
    } else {
        error = std::string("the service search failed: ") + std::strerror(errno);
    }
    sdp_list_free(search, nullptr);
    sdp_list_free(attributes, nullptr);
    sdp_close(session);
    return channel;
}

int connect_rfcomm(const Address& address, int channel, int timeout_ms, std::string& error) {
    const int fd = ::socket(AF_BLUETOOTH, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, BTPROTO_RFCOMM);
    if (fd < 0) {
        error = std::string("no RFCOMM socket: ") + std::strerror(errno);
        return -1;
    }
    sockaddr_rc target{};
    target.rc_family = AF_BLUETOOTH;
    target.rc_bdaddr = to_bdaddr(address);
    target.rc_channel = static_cast<std::uint8_t>(channel);
    int e = 0;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0)
        e = errno == EINPROGRESS ? finish_connect(fd, timeout_ms) : errno;
    if (e != 0) {
        error = "RFCOMM channel " + std::to_string(channel) + ": " +
                (e == ETIMEDOUT ? std::string("no answer in time") : std::strerror(e));
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace tola::bluez
