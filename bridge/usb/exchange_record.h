// tola-usbd --record DIR: one record per client connection to a device, in the
// format the library writes with TOLA_RECORD (comm/platform/record_format.h),
// so that what a real instrument answered replays with chromatik-sim --replay.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>

#include "bridge/usb/usb_backend.h"
#include "comm/platform/usb_channel_frame.h"
#include "bridge/usb/channel_socket.h"

namespace tola::usbd {

class ExchangeRecord {
public:
    // Creates "<key>-<date>-<time>-<pid>-<n>.rec" in dir for a client that
    // connected at socket (written below usb_dir, as the library names it).
    // A file that cannot be made leaves the record closed (nothing is written).
    ExchangeRecord(const std::filesystem::path& dir, const std::filesystem::path& usb_dir,
                   const std::filesystem::path& socket, const DeviceInfo& device);
    ~ExchangeRecord();
    ExchangeRecord(const ExchangeRecord&) = delete;
    ExchangeRecord& operator=(const ExchangeRecord&) = delete;

    bool is_open() const { return static_cast<bool>(file_); }
    const std::filesystem::path& path() const { return path_; }
    void request(const usbchannel::Request& request);
    void reply(const usbchannel::Reply& reply);

private:
    void line(const std::string& kind, const std::string& fields);
    Fd file_;
    std::filesystem::path path_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace tola::usbd
