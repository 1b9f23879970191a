#include "bridge/bluez/rfcomm.h"

#include <bluetooth/bluetooth.h>
#include <bluetooth/rfcomm.h>
#include <bluetooth/sdp.h>
#include <bluetooth/sdp_lib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

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

// What the transaction's callback hands over: the attribute lists of the
// matching records, as one data element sequence.
struct Query {
    bool done = false;
    bool ok = false;
    std::vector<std::uint8_t> response;
};

void on_response(std::uint8_t type, std::uint16_t status, std::uint8_t* data, std::size_t size, void* user) {
    auto* q = static_cast<Query*>(user);
    q->done = true;
    q->ok = type != SDP_ERROR_RSP && status == 0;
    if (q->ok && data) q->response.assign(data, data + size);
}

// The first RFCOMM channel among the records of a search-attribute response.
std::optional<int> channel_in(std::vector<std::uint8_t>& response) {
    if (response.empty()) return std::nullopt;
    std::uint8_t* p = response.data();
    int size = static_cast<int>(response.size());
    std::uint8_t type = 0;
    int length = 0;
    int scanned = sdp_extract_seqtype(p, size, &type, &length);
    if (scanned <= 0) return std::nullopt;
    p += scanned;
    size -= scanned;
    std::optional<int> channel;
    while (size > 0 && length > 0 && !channel) {
        int used = 0;
        sdp_record_t* record = sdp_extract_pdu(p, size, &used);
        if (!record || used <= 0) break;
        channel = channel_of(record);
        sdp_record_free(record);
        p += used;
        size -= used;
        length -= used;
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
    // The whole query keeps to the connect time: libbluetooth's blocking query
    // would wait 20 s for each response while the caller holds the interface
    // mutex, so the query runs as a transaction driven here with a deadline.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kSdpConnectTimeoutMs);
    const auto left_ms = [&] {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        return static_cast<int>(std::max<long long>(0, left.count()));
    };
    const int fd = sdp_get_socket(session);
    if (const int e = finish_connect(fd, left_ms()); e != 0) {
        error = std::string("no service record: ") + std::strerror(e);
        sdp_close(session);
        return std::nullopt;
    }

    Query query;
    uuid_t serial_port;
    sdp_uuid16_create(&serial_port, kSerialPortClass);
    sdp_list_t* search = sdp_list_append(nullptr, &serial_port);
    std::uint32_t range = 0x0000FFFF;
    sdp_list_t* attributes = sdp_list_append(nullptr, &range);
    bool sent = sdp_set_notify(session, on_response, &query) == 0 &&
                sdp_service_search_attr_async(session, search, SDP_ATTR_REQ_RANGE, attributes) == 0;
    while (sent && !query.done) {
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, left_ms());
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        if (sdp_process(session) < 0 && !query.done) break;  // the session ended or broke
    }
    sdp_list_free(search, nullptr);
    sdp_list_free(attributes, nullptr);
    std::optional<int> channel;
    if (!sent) {
        error = std::string("the service search failed: ") + std::strerror(errno);
    } else if (!query.done) {
        error = "the service search got no answer in time";
    } else if (!query.ok) {
        error = "the service search failed";
    } else {
        channel = channel_in(query.response);
        if (!channel) error = "the device lists no Serial Port service";
    }
    sdp_close(session);
    return channel;
}

int connect_rfcomm(const Address& address, int channel, int timeout_ms, std::string& error) {
    const int fd = ::socket(AF_BLUETOOTH, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, BTPROTO_RFCOMM);
    if (fd < 0) {
        error = std::string("no RFCOMM socket: ") + std::strerror(errno);
        return -1;
    }
    // At least an authenticated, encrypted link: the stream carries the
    // instrument's settings and firmware.
    bt_security security{};
    security.level = BT_SECURITY_MEDIUM;
    if (::setsockopt(fd, SOL_BLUETOOTH, BT_SECURITY, &security, sizeof security) != 0) {
        error = std::string("the RFCOMM link cannot be secured: ") + std::strerror(errno);
        ::close(fd);
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
