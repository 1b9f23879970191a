// A record of exchanges (comm/platform/record_format.h) turned into the
// answers of a replayed instrument, and the matching of what a host sends
// against what was recorded.
//
// USB: each request is answered with the reply recorded for it when it is the
// next recorded request.  Two loosenings cover traffic whose amount depends on
// timing alone: a request equal to the one matched last is answered again with
// the same reply (a status poll that ran once more than when recorded), and
// descriptor reads, which the library sends as a liveness test only when the
// link has been quiet for a while, are answered with the last recorded
// descriptor wherever they come and skipped where recorded but not sent.
// A request may differ from the recorded one only where the host writes its
// clock: NUL-terminated texts that spell a time of day or a date (the stamp of
// an update) match any text there, and the replies that give such a field back
// (a read-back of what was written) carry the host's text.  Everything else is
// strict.
//
// Serial and Bluetooth: the recorded bytes the host wrote form one stream that
// the host must send again byte for byte; the bytes the host read go out as
// soon as every byte it wrote before reading them has come.  A host that
// repeats a request after a time-out therefore meets the same recorded
// repetition; one that repeats less gets its answer earlier.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace tola::sim::replay {

enum class Link { Usb, Serial, Bluetooth };

struct UsbRequest {
    std::uint32_t code = 0;
    std::uint32_t capacity = 0;
    std::vector<std::uint8_t> input;
    std::vector<std::uint8_t> payload;
    bool operator==(const UsbRequest&) const = default;
};

struct UsbReply {
    bool lost = false;  // no valid reply was seen: the connection is dropped
    bool success = false;
    std::uint32_t returned = 0;
    std::vector<std::uint8_t> data;
};

struct UsbExchange {
    UsbRequest request;
    UsbReply reply;
    std::size_t line = 0;   // of the request in the file
    std::size_t index = 0;  // of the request among the events (from 0)
};

struct Chunk {
    bool from_host = false;  // tx: the host wrote it; rx: the host read it
    std::vector<std::uint8_t> bytes;
    std::size_t line = 0;
    std::size_t index = 0;
};

struct Script {
    Link link = Link::Usb;
    std::string target;  // usb: socket path below the channel folder; com: COMn; bt: address
    std::string identity;  // the recorded "id" fields, for the report
    std::vector<UsbExchange> exchanges;
    std::vector<Chunk> chunks;
    std::string command;  // the command that made the record, when it says
};

// The longest socket or address name a record may give.
inline constexpr std::size_t kMaxTargetName = 64;

// Reads a record.  Nothing (and why in *error, "record line N: ..." where a
// line is to blame) for a file that is not a record, has a malformed line,
// mixes links, holds a reply without its request, or opens something the
// replay cannot serve in its folders.  What a record opens must be:
//   usb  a name, or {00873FDF-61A8-11D1-AA5E-00C04FB1728B}/<name> (the
//        interface-class folder, where the library and the bridge keep their
//        sockets), below the channel folder;
//   bt   a name in the Bluetooth folder (the instrument's address);
//   com  COM<n>, n from 1 to 999 (the replay serves a pseudo-terminal);
// a name being 1 to kMaxTargetName letters, digits, '-', '_', '.' and ':', not
// starting with '.'.  Every "open" line is checked, so a refused record has
// made nothing.
std::optional<Script> load_script(const std::string& text, std::string* error);

// Where a replay went wrong: what the record expected and what came.
struct Difference {
    std::size_t line = 0;
    std::size_t index = 0;
    std::string expected;
    std::string got;
};

std::string describe(const UsbRequest& request);

class UsbMatcher {
public:
    explicit UsbMatcher(const std::vector<UsbExchange>& exchanges) : exchanges_(exchanges) {}
    // The reply for a request, or nothing (the difference in difference()).
    std::optional<UsbReply> answer(const UsbRequest& request);
    const std::optional<Difference>& difference() const { return difference_; }
    // The first recorded request that has not come yet (skippable ones aside).
    const UsbExchange* pending() const;

private:
    void learn_clock(const UsbRequest& recorded, const UsbRequest& got);
    UsbReply with_clock(const UsbReply& recorded) const;
    const std::vector<UsbExchange>& exchanges_;
    std::vector<std::pair<std::vector<std::uint8_t>, std::vector<std::uint8_t>>> clock_fields_;
    std::size_t next_ = 0;
    const UsbExchange* last_ = nullptr;
    std::optional<Difference> difference_;
};

class StreamMatcher {
public:
    explicit StreamMatcher(const std::vector<Chunk>& chunks) : chunks_(chunks) {}
    // The recorded bytes due to the host now (before it sends anything, or
    // after what it sent).  False on a difference (see difference()).
    bool take(std::span<const std::uint8_t> from_host, std::vector<std::uint8_t>& to_host);
    const std::optional<Difference>& difference() const { return difference_; }
    const Chunk* pending() const { return next_ < chunks_.size() ? &chunks_[next_] : nullptr; }
    std::size_t pending_offset() const { return offset_; }

private:
    void pump(std::vector<std::uint8_t>& to_host);
    const std::vector<Chunk>& chunks_;
    std::size_t next_ = 0;
    std::size_t offset_ = 0;  // bytes of the current host chunk already matched
    std::optional<Difference> difference_;
};

bool is_descriptor_read(const UsbRequest& request);

}  // namespace tola::sim::replay
