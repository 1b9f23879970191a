#include "comm/platform/link_recorder.h"

#include "comm/platform/diagnostics.h"
#include "comm/platform/process_global.h"
#include "comm/platform/record_format.h"
#include "platform/record_file.h"

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
    os::RecordFile file;
    std::chrono::steady_clock::time_point start;
    std::string last_link = "usb";
    std::string command;    // the first comment of every part
    std::string last_open;  // the last "open" and "id" events (link, kind, fields),
    std::string last_id;    // restated at the start of every later part
};

Recorder& recorder() {
    static ProcessGlobal<Recorder> r;
    return *r;
}

std::uint64_t elapsed_ms(const Recorder& r) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - r.start);
    return static_cast<std::uint64_t>(ms.count());
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

// The lines a part of the record begins with: the format, the command, and
// in a later part what was open and whom the host was talking to then, so that
// each part reads (and replays from its start) as a record of its own.
std::string opening(const Recorder& r) {
    std::string text = record::header_line() + "# command: " + r.command + "\n";
    if (r.file.part() == 0) return text;
    text += "# part " + std::to_string(r.file.part()) + " of the record begun in " + r.file.name().string() + "\n";
    const std::uint64_t ms = elapsed_ms(r);
    if (!r.last_open.empty()) text += std::to_string(ms) + " " + r.last_open + "\n";
    if (!r.last_id.empty()) text += std::to_string(ms) + " " + r.last_id + "\n";
    return text;
}

// The size limit of a part: TOLA_RECORD_MAX, else the default.
std::uint64_t size_limit() {
    const char* text = std::getenv("TOLA_RECORD_MAX");
    if (text == nullptr || *text == '\0') return os::kRecordMaxDefault;
    if (const auto max = os::parse_record_size(text)) return *max;
    message_box("TOLA_RECORD_MAX",
                std::string(text) + " is not a size (such as 64M, 512K or 0 for no limit); 64M is used");
    return os::kRecordMaxDefault;
}

// Under the lock: opens the file on first use.
bool file(Recorder& r) {
    if (!r.opened) {
        r.opened = true;
        const char* name = std::getenv("TOLA_RECORD");
        if (name != nullptr && *name != '\0') {
            r.start = std::chrono::steady_clock::now();
            r.command = command_line();
            std::string error;
            if (!r.file.open(name, size_limit(), opening(r), error))
                message_box("TOLA_RECORD", "nothing is recorded: " + error);
            else if (r.file.name() != name)
                message_box("TOLA_RECORD", std::string(name) + " exists and is left alone; the record is " +
                                               r.file.name().string());
        }
    }
    return r.file.is_open();
}

}  // namespace

bool active() {
    Recorder& r = recorder();
    std::lock_guard lock(r.mutex);
    return file(r);
}

void event(std::string_view link, std::string_view kind, std::string_view fields) {
    Recorder& r = recorder();
    std::lock_guard lock(r.mutex);
    if (!file(r)) return;
    // A new part begins anywhere but between a USB request and its reply.
    const bool may_start_part = !(link == "usb" && kind == "rep");
    if (!r.file.write(record::event_line(elapsed_ms(r), link, kind, fields), may_start_part,
                      [&r] { return opening(r); }))
        message_box("TOLA_RECORD", "the record ends here: " + r.file.error());
    if (kind == "open") {
        r.last_link = std::string(link);
        r.last_open = std::string(link) + " open " + std::string(fields);
        r.last_id.clear();
    } else if (kind == "id") {
        r.last_id = std::string(link) + " id " + std::string(fields);
    }
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
