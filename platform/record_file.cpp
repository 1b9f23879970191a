#include "platform/record_file.h"

#include "platform/private_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

namespace tola::os {
namespace {

// Gives up on finding a free name for a new part after this many taken ones.
constexpr unsigned kPartTries = 1000;

}  // namespace

std::optional<std::uint64_t> parse_record_size(std::string_view text) {
    std::uint64_t unit = 1;
    if (!text.empty()) {
        switch (text.back()) {
            case 'K': case 'k': unit = std::uint64_t{1} << 10; break;
            case 'M': case 'm': unit = std::uint64_t{1} << 20; break;
            case 'G': case 'g': unit = std::uint64_t{1} << 30; break;
            default: break;
        }
        if (unit != 1) text.remove_suffix(1);
    }
    std::uint64_t n = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), n);
    if (text.empty() || r.ec != std::errc{} || r.ptr != text.data() + text.size()) return std::nullopt;
    if (n > UINT64_MAX / unit) return std::nullopt;
    n *= unit;
    if (n != 0 && n < kRecordMaxLeast) return std::nullopt;
    return n;
}

int RecordFile::start_part(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) return errno;
    struct stat st{};
    ::fstat(fd, &st);
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
    size_ = 0;
    parts_.push_back(Part{path, st.st_dev, st.st_ino});
    // The oldest parts go, each only while it is still the file made here.
    while (parts_.size() > kRecordPartsKept) {
        const Part& old = parts_.front();
        struct stat now{};
        if (::lstat(old.path.c_str(), &now) == 0 && now.st_dev == old.device && now.st_ino == old.inode)
            ::unlink(old.path.c_str());
        parts_.pop_front();
    }
    return 0;
}

bool RecordFile::open(const std::filesystem::path& path, std::uint64_t max_bytes, std::string_view opening,
                      std::string& error) {
    close();
    max_ = max_bytes;
    number_ = 0;
    base_ = path;
    int failure = start_part(base_);
    if (failure == EEXIST) {
        // Not ours to write: a name of this process's own beside it.
        base_ = path.string() + ".pid" + std::to_string(::getpid());
        failure = start_part(base_);
    }
    if (failure != 0) {
        error = "cannot make " + base_.string() + ": " + std::strerror(failure);
        return false;
    }
    put(opening);
    opening_ = size_;
    return true;
}

void RecordFile::put(std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd_, text.data(), text.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // a full disk loses lines, not the program
        size_ += static_cast<std::uint64_t>(n);
        text.remove_prefix(static_cast<std::size_t>(n));
    }
}

bool RecordFile::write(std::string_view lines, bool may_start_part, const std::function<std::string()>& opening) {
    if (fd_ < 0) return false;
    // A part that holds no more than its opening takes the lines, however long.
    if (may_start_part && max_ != 0 && size_ > opening_ && size_ + lines.size() > max_) {
        int failure = EEXIST;
        for (unsigned tries = 0; tries < kPartTries && failure == EEXIST; ++tries)
            failure = start_part(base_.string() + "." + std::to_string(++number_));
        if (failure != 0) {
            error_ = "cannot make " + base_.string() + "." + std::to_string(number_) + ": " + std::strerror(failure);
            close();
            return false;
        }
        put(opening());
        opening_ = size_;
    }
    put(lines);
    return true;
}

void RecordFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool prepare_record_folder(const std::filesystem::path& folder, std::string& error) {
    struct stat st{};
    if (::stat(folder.c_str(), &st) != 0) {
        if (errno == ENOENT) return make_private_folder(folder, error);
        error = "cannot use " + folder.string() + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        error = folder.string() + " is not a folder";
        return false;
    }
    if (st.st_uid != ::getuid()) {
        error = folder.string() + " belongs to another user (uid " + std::to_string(st.st_uid) + ")";
        return false;
    }
    if ((st.st_mode & 022) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        error = folder.string() + " may be written by other users (mode " + mode +
                "): they could replace or remove the records; take their write permission away (chmod go-w) "
                "or choose a folder of your own";
        return false;
    }
    return true;
}

}  // namespace tola::os
