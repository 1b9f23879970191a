#include "bridge/usb/channel_socket.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tola::usbd {
namespace {

namespace ch = tola::usbchannel;
using tola::os::Received;

tola::os::Deadline deadline_in(int timeout_ms) {
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
}

}  // namespace

Fd listen_at(const std::filesystem::path& path, std::string& error) {
    if (!make_private_folder(path.parent_path(), error)) return Fd{};
    struct stat st{};
    if (::lstat(path.c_str(), &st) == 0 && !S_ISSOCK(st.st_mode)) {
        error = path.string() + " exists and is no socket";
        return Fd{};
    }
    return tola::os::listen_at(path, error);
}

ReadOutcome read_request(const Fd& connection, ch::Request& request, int timeout_ms) {
    const auto deadline = deadline_in(timeout_ms);
    std::array<std::uint8_t, ch::kHeaderSize> header{};
    switch (tola::os::receive_until(connection, header, deadline)) {
        case Received::All: break;
        case Received::EndBeforeAny: return ReadOutcome::Closed;
        case Received::TimedOut: return ReadOutcome::TimedOut;
        case Received::Broken: return ReadOutcome::Malformed;
    }
    const auto h = ch::parse_request_header(header);
    if (!h) return ReadOutcome::Malformed;
    request.code = h->code;
    request.output_capacity = h->output_capacity;
    request.input.resize(h->input_length);
    request.output_payload.resize(h->payload_length);
    for (auto* part : {&request.input, &request.output_payload}) {
        if (part->empty()) continue;
        const Received r = tola::os::receive_until(connection, *part, deadline);
        if (r == Received::TimedOut) return ReadOutcome::TimedOut;
        if (r != Received::All) return ReadOutcome::Malformed;
    }
    return ReadOutcome::Request;
}

bool write_reply(const Fd& connection, const ch::Reply& reply, int timeout_ms) {
    return tola::os::send_until(connection, ch::encode(reply), deadline_in(timeout_ms));
}

void remove_stale_sockets(const std::filesystem::path& folder) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        struct stat st{};
        if (::lstat(entry.path().c_str(), &st) != 0 || !S_ISSOCK(st.st_mode)) continue;
        if (tola::os::connect_to(entry.path())) continue;  // served
        if (errno == ECONNREFUSED) tola::os::remove_socket_file(entry.path());
    }
}

Fd lock_file(const std::filesystem::path& path, std::string& error) {
    Fd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!fd) {
        error = "cannot open " + path.string() + ": " + std::strerror(errno);
        return Fd{};
    }
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        error = errno == EWOULDBLOCK ? "another tola-usbd serves " + path.parent_path().string()
                                     : "cannot lock " + path.string() + ": " + std::strerror(errno);
        return Fd{};
    }
    return fd;
}

}  // namespace tola::usbd
