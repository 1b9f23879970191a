// The files a record of exchanges goes to (TOLA_RECORD, tolactl --record,
// tola-usbd --record): bounded in size, never written over, never reached
// through a symbolic link.  The library and the USB bridge use this one rule.
//
// Names.  A record starts in FILE when nothing of that name exists.  When
// something does (an earlier record, another process's record, a symbolic
// link), it is left alone and the record starts in FILE.pid<PID> instead, the
// name of this process's own.  Every file is made new (O_CREAT | O_EXCL |
// O_NOFOLLOW, mode 0600): no existing file is opened, truncated or followed.
//
// Size.  Once a part of the record reaches the size limit, the record goes on
// in a new part named after the first one: FILE.1, FILE.2, ... (FILE.pid<PID>.1,
// ...), each beginning with the lines that make it a record of its own.  Of
// the parts, the newest kRecordPartsKept stay and older ones are removed; a
// process only ever removes a part it made itself.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tola::os {

inline constexpr std::uint64_t kRecordMaxDefault = std::uint64_t{64} << 20;  // 64M a part
inline constexpr std::size_t kRecordPartsKept = 4;  // the part being written and the three before it
inline constexpr std::uint64_t kRecordMaxLeast = 1024;

// A part's size limit as the options and TOLA_RECORD_MAX give it: bytes, or a
// number with K, M or G (1024, 1024², 1024³); 0 for no limit.  Nothing for
// anything else, or for a limit below kRecordMaxLeast.
std::optional<std::uint64_t> parse_record_size(std::string_view text);

class RecordFile {
public:
    RecordFile() = default;
    ~RecordFile() { close(); }
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;

    // Starts the record at `path` (or its per-process name, see above) with
    // the opening lines; false with the reason when no file could be made.
    // `max_bytes` 0: one part without limit.
    bool open(const std::filesystem::path& path, std::uint64_t max_bytes, std::string_view opening,
              std::string& error);
    bool is_open() const { return fd_ >= 0; }
    // The first part's name: FILE, or FILE.pid<PID> when FILE existed.
    const std::filesystem::path& name() const { return base_; }
    // The part being written, and its number (0 for the first).
    const std::filesystem::path& path() const { return parts_.back().path; }
    unsigned part() const { return number_; }

    // Writes whole lines with one write().  When `may_start_part` and they
    // would take the part past the limit, the next part is started first and
    // begins with opening() (called once that part is made, so part() is its
    // number).  False, and the record closed, when no new part could be made.
    bool write(std::string_view lines, bool may_start_part, const std::function<std::string()>& opening);
    void close();
    const std::string& error() const { return error_; }

private:
    struct Part {
        std::filesystem::path path;
        dev_t device = 0;
        ino_t inode = 0;
    };
    int start_part(const std::filesystem::path& path);  // 0, or the errno of the failure
    void put(std::string_view text);

    int fd_ = -1;
    std::filesystem::path base_;
    std::deque<Part> parts_;  // made by this process and still there, oldest first
    unsigned number_ = 0;
    std::uint64_t max_ = 0;
    std::uint64_t size_ = 0;     // of the part being written
    std::uint64_t opening_ = 0;  // of its opening lines
    std::string error_;
};

// The folder tola-usbd --record DIR writes to: made private (0700) when it
// does not exist.  An existing folder keeps its mode, but must be a folder of
// this user that neither group nor others may write to (records there could be
// replaced or removed).  False with the reason otherwise.
bool prepare_record_folder(const std::filesystem::path& folder, std::string& error);

}  // namespace tola::os
