#include "comm/platform/link_recorder.h"

#include "comm/platform/process_global.h"
#include "comm/platform/record_format.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>

namespace tola::platform::recorder {
namespace {

struct Recorder {
    std::mutex mutex;
    bool opened = false;
    int fd = -1;
    std::chrono::steady_clock::time_point start;
    std::string last_link = "usb";
};

Recorder& recorder() {
    static ProcessGlobal<Recorder> r;
    return *r;
}

void write_line(int fd, const std::string& line) {
    const char* p = line.data();
    std::size_t left = line.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

// The command line of this process, so that a record says what made it.
std::string command_line() {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string out;
    bool first = true;
    std::size_t pos = 0;
    while (pos < raw.size()) {
        std::size_t end = raw.find('\0', pos);
        if (end == std::string::npos) end = raw.size();
        std::string arg = raw.substr(pos, end - pos);
        if (first) {
            // The program by its name: where it was installed says nothing about the exchange.
            const auto slash = arg.rfind('/');
            if (slash != std::string::npos) arg = arg.substr(slash + 1);
            first = false;
        } else {
            out += ' ';
        }
        out += record::escape(arg);
        pos = end + 1;
    }
    return out;
}

// Under the lock: opens the file on first use.
int file(Recorder& r) {
    if (!r.opened) {
        r.opened = true;
        const char* name = std::getenv("TOLA_RECORD");
        if (name != nullptr && *name != '\0') {
            r.fd = ::open(name, O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0600);
            if (r.fd >= 0) {
                r.start = std::chrono::steady_clock::now();
                write_line(r.fd, record::header_line());
                write_line(r.fd, "# command: " + command_line() + "\n");
            }
        }
    }
    return r.fd;
}

}  // namespace

bool active() {
    Recorder& r = recorder();
    std::lock_guard lock(r.mutex);
    return file(r) >= 0;
}

void event(std::string_view link, std::string_view kind, std::string_view fields) {
    Recorder& r = recorder();
    std::lock_guard lock(r.mutex);
    const int fd = file(r);
    if (fd < 0) return;
    if (kind == "open") r.last_link = std::string(link);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - r.start);
    write_line(fd, record::event_line(static_cast<std::uint64_t>(ms.count()), link, kind, fields));
}

void usb_request(std::uint32_t code, std::uint32_t capacity, std::span<const std::uint8_t> in,
                 std::span<const std::uint8_t> payload) {
    if (!active()) return;
    event("usb", "req", record::usb_request_fields(code, capacity, in, payload));
}

void usb_reply(bool success, std::uint32_t returned, std::span<const std::uint8_t> data) {
    if (!active()) return;
    event("usb", "rep", record::usb_reply_fields(success, returned, data));
}

void bytes(std::string_view link, std::string_view direction, std::span<const std::uint8_t> data) {
    if (data.empty() || !active()) return;
    event(link, direction, record::hex(data));
}

void identity(std::string_view device, std::string_view firmware, std::string_view serial,
              std::string_view interface_release) {
    if (!active()) return;
    std::string link;
    {
        Recorder& r = recorder();
        std::lock_guard lock(r.mutex);
        link = r.last_link;
    }
    event(link, "id",
          "device=" + record::escape(device) + " firmware=" + record::escape(firmware) +
              " serial=" + record::escape(serial) + " interface=" + record::escape(interface_release));
}

}  // namespace tola::platform::recorder
