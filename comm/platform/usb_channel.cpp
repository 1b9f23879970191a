#include "comm/platform/usb_channel.h"

#include "comm/platform/clock.h"
#include "comm/platform/descriptors.h"
#include "comm/platform/diagnostics.h"
#include "comm/platform/process_global.h"
#include "comm/platform/link_recorder.h"
#include "comm/platform/usb_channel_frame.h"
#include "platform/private_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>

namespace tola::platform {
namespace {

namespace frame = tola::usbchannel;

bool write_all(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Reads exactly size bytes before the deadline tick.
bool read_exact(int fd, std::uint8_t* data, std::size_t size, std::uint32_t start, int timeout_ms) {
    while (size > 0) {
        const int left = timeout_ms - static_cast<int>(ms_since(start));
        if (left <= 0) return false;
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, left);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        const ssize_t n = ::recv(fd, data, size, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// A refused folder or socket is named once per process: the device search
// tries every socket again and again.
struct RefusalLog {
    std::mutex mutex;
    std::set<std::string> said;
};
ProcessGlobal<RefusalLog> refusals;

void say_refused(const std::string& text) {
    {
        std::lock_guard lock(refusals->mutex);
        if (!refusals->said.insert(text).second) return;
    }
    message_box("TOLA_comm", text);
}

// Another user's socket, or one in a folder that others can write, could pose
// as an instrument: such a socket is not connected (or dropped at once).
bool trusted(int fd, const std::string& path) {
    std::string why;
    if (tola::os::peer_is_trusted(fd, why)) return true;
    say_refused(path + ": " + why);
    return false;
}

bool folder_trusted(const std::string& path) {
    std::string why;
    if (tola::os::is_private_folder(std::filesystem::path(path).parent_path(), why)) return true;
    say_refused(why);
    return false;
}

}  // namespace

std::string usb_channel_dir() {
    if (const char* dir = std::getenv("TOLA_USB_DIR"); dir != nullptr && *dir != '\0') return dir;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime != '\0')
        return std::string(runtime) + "/tola/usb";
    return "/tmp/tola-" + std::to_string(::getuid()) + "/usb";
}

std::vector<std::string> usb_class_devices() {
    const std::string folder = usb_channel_dir() + "/" + kUsbInterfaceClass;
    std::vector<std::string> names;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (dirent* e = ::readdir(d)) {
            if (e->d_name[0] != '.') names.emplace_back(e->d_name);
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    for (auto& n : names) n = folder + "/" + n;
    return names;
}

int usb_open_path(const std::string& path) {
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path) return -1;
    if (::access(path.c_str(), F_OK) != 0) return -1;  // nothing there: nothing to say
    if (!folder_trusted(path)) return -1;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = above_standard_streams(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (fd < 0) return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || !trusted(fd, path)) {
        ::close(fd);
        return -1;
    }
    if (recorder::active()) {
        const std::string folder = usb_channel_dir() + "/";
        recorder::event("usb", "open", path.rfind(folder, 0) == 0 ? path.substr(folder.size()) : path);
    }
    return fd;
}

int usb_open_named(const char* device_name) { return usb_open_path(usb_channel_dir() + "/" + device_name); }

void usb_close(int handle) {
    if (handle < 0) return;
    ::close(handle);
    recorder::event("usb", "close", {});
}

IoctlResult usb_ioctl(int handle, std::uint32_t code, std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                      std::uint32_t window_ms) {
    IoctlResult result;
    if (handle < 0 || in.size() > frame::kMaxPayload || out.size() > frame::kMaxPayload) return result;
    frame::Request request;
    request.code = code;
    request.input.assign(in.begin(), in.end());
    request.output_capacity = static_cast<std::uint32_t>(out.size());
    if (frame::output_is_payload(code)) request.output_payload.assign(out.begin(), out.end());
    const std::vector<std::uint8_t> bytes = frame::encode(request);
    recorder::usb_request(code, request.output_capacity, request.input, request.output_payload);
    auto lost = [] { recorder::event("usb", "rep", "lost"); };
    if (!write_all(handle, bytes.data(), bytes.size())) {
        lost();
        return result;
    }

    // A late or garbled reply leaves the stream out of step: the channel is
    // shut so that every later request fails cleanly instead of reading stale bytes.
    auto broken = [&] {
        ::shutdown(handle, SHUT_RDWR);
        lost();
        return IoctlResult{};
    };
    const std::uint32_t start = tick_ms();
    std::array<std::uint8_t, frame::kReplyHeaderSize> header{};
    const int window = static_cast<int>(window_ms);
    if (!read_exact(handle, header.data(), header.size(), start, window)) return broken();
    const auto reply = frame::parse_reply_header(header, static_cast<std::uint32_t>(out.size()));
    if (!reply) return broken();
    // A count beyond both buffers of the request is malformed: no transfer
    // moves more than it was given room or data for, and callers size what
    // they take from the buffer by that count.
    if (reply->bytes_returned > std::max(out.size(), in.size())) return broken();
    if (reply->output_length > 0) {
        // The device has no business returning data into a buffer it was sent.
        if (frame::output_is_payload(code)) return broken();
        if (!read_exact(handle, out.data(), reply->output_length, start, window)) return broken();
    }
    result.success = reply->success;
    result.bytes_returned = reply->bytes_returned;
    recorder::usb_reply(result.success, result.bytes_returned, out.first(reply->output_length));
    return result;
}

}  // namespace tola::platform
