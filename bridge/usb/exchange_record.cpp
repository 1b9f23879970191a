#include "bridge/usb/exchange_record.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>

#include "comm/platform/record_format.h"

namespace tola::usbd {
namespace {

void write_all(int fd, const std::string& text) {
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

std::string file_name(const DeviceInfo& device) {
    static std::atomic<unsigned> counter{0};
    std::string key;
    for (char c : device.key) key += (c == '/' || c == ' ') ? '_' : c;
    char stamp[32] = {};
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    return key + "-" + stamp + "-" + std::to_string(::getpid()) + "-" + std::to_string(++counter) + ".rec";
}

}  // namespace

ExchangeRecord::ExchangeRecord(const std::filesystem::path& dir, const std::filesystem::path& usb_dir,
                               const std::filesystem::path& socket, const DeviceInfo& device)
    : path_(dir / file_name(device)) {
    // Records hold what the instrument sent (its serial number, settings and
    // measurements): readable by the user alone.
    file_ = Fd(::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0600));
    if (!file_) return;
    char ids[64];
    std::snprintf(ids, sizeof ids, "vendor 0x%04X product 0x%04X release 0x%04X", device.vendor, device.product,
                  device.release);
    write_all(file_.get(), record::header_line());
    write_all(file_.get(), "# served by tola-usbd: device " + device.key + ", " + ids + "\n");
    line("open", socket.lexically_relative(usb_dir).string());
}

ExchangeRecord::~ExchangeRecord() {
    if (file_) line("close", {});
}

void ExchangeRecord::line(const std::string& kind, const std::string& fields) {
    if (!file_) return;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_);
    write_all(file_.get(), record::event_line(static_cast<std::uint64_t>(ms.count()), "usb", kind, fields));
}

void ExchangeRecord::request(const usbchannel::Request& r) {
    line("req", record::usb_request_fields(r.code, r.output_capacity, r.input, r.output_payload));
}

void ExchangeRecord::reply(const usbchannel::Reply& r) {
    line("rep", record::usb_reply_fields(r.success, r.bytes_returned, r.output));
}

}  // namespace tola::usbd
