#include "bridge/usb/exchange_record.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <ctime>

#include "comm/platform/record_format.h"

namespace tola::usbd {
namespace {

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
                               const std::filesystem::path& socket, const DeviceInfo& device, std::uint64_t max_bytes)
    : path_(dir / file_name(device)), socket_(socket.lexically_relative(usb_dir).string()) {
    char ids[64];
    std::snprintf(ids, sizeof ids, "vendor 0x%04X product 0x%04X release 0x%04X", device.vendor, device.product,
                  device.release);
    served_ = "# served by tola-usbd: device " + device.key + ", " + ids + "\n";
    // Records hold what the instrument sent (its serial number, settings and
    // measurements): readable by the user alone (record_file.h makes them 0600).
    std::string error;
    if (!file_.open(path_, max_bytes, opening(), error)) return;
    path_ = file_.name();
}

ExchangeRecord::~ExchangeRecord() {
    if (is_open()) line("close", {});
}

// The lines each part begins with; a later part restates the connection.
std::string ExchangeRecord::opening() const {
    std::string text = record::header_line() + served_;
    if (file_.is_open() && file_.part() > 0)
        text += "# part " + std::to_string(file_.part()) + " of the record begun in " + file_.name().string() + "\n";
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_);
    return text + record::event_line(static_cast<std::uint64_t>(ms.count()), "usb", "open", socket_);
}

void ExchangeRecord::line(const std::string& kind, const std::string& fields) {
    if (!is_open()) return;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_);
    // A new part begins before a request, never between a request and its reply.
    file_.write(record::event_line(static_cast<std::uint64_t>(ms.count()), "usb", kind, fields), kind == "req",
                [this] { return opening(); });
}

void ExchangeRecord::request(const usbchannel::Request& r) {
    line("req", record::usb_request_fields(r.code, r.output_capacity, r.input, r.output_payload));
}

void ExchangeRecord::reply(const usbchannel::Reply& r) {
    line("rep", record::usb_reply_fields(r.success, r.bytes_returned, r.output));
}

}  // namespace tola::usbd
