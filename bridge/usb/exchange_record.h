// tola-usbd --record DIR: one record per client connection to a device, in the
// format the library writes with TOLA_RECORD (comm/platform/record_format.h),
// so that what a real instrument answered replays with chromatik-sim --replay.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

#include "bridge/usb/usb_backend.h"
#include "comm/platform/usb_channel_frame.h"
#include "bridge/usb/channel_socket.h"
#include "platform/record_file.h"

namespace tola::usbd {

class ExchangeRecord {
public:
    // Creates "<key>-<date>-<time>-<pid>-<n>.rec" in dir for a client that
    // connected at socket (written below usb_dir, as the library names it).
    // Parts of max_bytes (0: no limit) follow one another as
    // platform/record_file.h describes.  A file that cannot be made leaves the
    // record closed (nothing is written).
    ExchangeRecord(const std::filesystem::path& dir, const std::filesystem::path& usb_dir,
                   const std::filesystem::path& socket, const DeviceInfo& device, std::uint64_t max_bytes);
    ~ExchangeRecord();
    ExchangeRecord(const ExchangeRecord&) = delete;
    ExchangeRecord& operator=(const ExchangeRecord&) = delete;

    bool is_open() const { return file_.is_open(); }
    const std::filesystem::path& path() const { return path_; }
    void request(const usbchannel::Request& request);
    void reply(const usbchannel::Reply& reply);

private:
    std::string opening() const;
    void line(const std::string& kind, const std::string& fields);
    os::RecordFile file_;
    std::filesystem::path path_;
    std::string served_;  // the comment that names the device
    std::string socket_;  // as the "open" event gives it
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace tola::usbd
