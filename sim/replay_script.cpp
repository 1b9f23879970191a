#include "sim/replay_script.h"

#include <algorithm>
#include <charconv>

#include "comm/platform/record_format.h"
#include "comm/platform/usb_channel_frame.h"
#include "sim/instrument_config.h"

namespace tola::sim::replay {
namespace {

bool fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

template <class T>
bool number(const std::string& text, T& out, int base = 10) {
    const auto r = std::from_chars(text.data(), text.data() + text.size(), out, base);
    return r.ec == std::errc{} && r.ptr == text.data() + text.size();
}

std::string at(const record::Event& e) { return "record line " + std::to_string(e.line) + ": "; }

// One name in a folder: letters, digits, '-', '_', '.' and ':', not starting
// with '.' (no "." or "..", and none of the hidden names the bridge and the
// sockets being bound use), at most kMaxTargetName characters.
bool plain_name(std::string_view name) {
    if (name.empty() || name.size() > kMaxTargetName || name.front() == '.') return false;
    for (const char c : name)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' || c == '_' ||
              c == '.' || c == ':'))
            return false;
    return true;
}

bool usable_target(const std::string& link, std::string_view target) {
    if (link == "com") {
        // COM<n>, n from 1 to 999.
        if (target.size() < 4 || target.size() > 6 || target.substr(0, 3) != "COM" || target[3] == '0') return false;
        return std::all_of(target.begin() + 3, target.end(), [](char c) { return c >= '0' && c <= '9'; });
    }
    if (link == "usb" && target.size() > kInterfaceClassFolder.size() &&
        target.substr(0, kInterfaceClassFolder.size()) == kInterfaceClassFolder &&
        target[kInterfaceClassFolder.size()] == '/')
        target.remove_prefix(kInterfaceClassFolder.size() + 1);
    return plain_name(target);
}

bool add_usb(Script& s, const record::Event& e, std::size_t index, std::string* error) {
    if (e.kind == "req") {
        if (!s.exchanges.empty() && s.exchanges.back().reply.data.empty() && !s.exchanges.back().reply.lost &&
            s.exchanges.back().reply.returned == 0xFFFFFFFFu)
            return fail(error, at(e) + "a request before the reply of the one before");
        UsbExchange x;
        auto in = e.fields.size() == 4 ? record::unhex(e.fields[2]) : std::nullopt;
        auto out = e.fields.size() == 4 ? record::unhex(e.fields[3]) : std::nullopt;
        if (!in || !out || !number(e.fields[0], x.request.code, 16) || !number(e.fields[1], x.request.capacity))
            return fail(error, at(e) + "a request is \"req <code> <capacity> <in> <out>\"");
        x.request.input = std::move(*in);
        x.request.payload = std::move(*out);
        x.reply.returned = 0xFFFFFFFFu;  // no reply yet
        x.line = e.line;
        x.index = index;
        s.exchanges.push_back(std::move(x));
        return true;
    }
    if (e.kind == "rep") {
        if (s.exchanges.empty() || s.exchanges.back().reply.returned != 0xFFFFFFFFu ||
            s.exchanges.back().reply.lost)
            return fail(error, at(e) + "a reply without its request");
        UsbReply& r = s.exchanges.back().reply;
        if (e.fields.size() == 1 && e.fields[0] == "lost") {
            r.lost = true;
            r.returned = 0;
            return true;
        }
        auto data = e.fields.size() == 3 ? record::unhex(e.fields[2]) : std::nullopt;
        if (!data || (e.fields[0] != "0" && e.fields[0] != "1") || !number(e.fields[1], r.returned))
            return fail(error, at(e) + "a reply is \"rep <ok> <returned> <data>\" or \"rep lost\"");
        r.success = e.fields[0] == "1";
        r.data = std::move(*data);
        if (r.data.size() > s.exchanges.back().request.capacity)
            return fail(error, at(e) + "a reply larger than its request's capacity");
        return true;
    }
    return true;
}

bool add_stream(Script& s, const record::Event& e, std::size_t index, std::string* error) {
    if (e.kind != "tx" && e.kind != "rx") return true;
    auto bytes = e.fields.size() == 1 ? record::unhex(e.fields[0]) : std::nullopt;
    // The matcher takes a chunk the host writes byte by byte: an empty one is no chunk.
    if (!bytes || bytes->empty()) return fail(error, at(e) + "bytes are \"" + e.kind + " <hex>\"");
    const bool from_host = e.kind == "tx";
    // Adjacent pieces in one direction are one piece: how the host's reads
    // happened to split the bytes says nothing about the instrument.
    if (!s.chunks.empty() && s.chunks.back().from_host == from_host) {
        auto& last = s.chunks.back().bytes;
        last.insert(last.end(), bytes->begin(), bytes->end());
        return true;
    }
    s.chunks.push_back(Chunk{from_host, std::move(*bytes), e.line, index});
    return true;
}

bool digit(std::uint8_t c) { return c >= '0' && c <= '9'; }

// Whether a text holds a time of day "hh:mm:ss" or a year 19xx/20xx after a space.
bool clock_text(std::span<const std::uint8_t> t) {
    for (std::size_t i = 0; i + 8 <= t.size(); ++i)
        if (digit(t[i]) && digit(t[i + 1]) && t[i + 2] == ':' && digit(t[i + 3]) && digit(t[i + 4]) &&
            t[i + 5] == ':' && digit(t[i + 6]) && digit(t[i + 7]))
            return true;
    for (std::size_t i = 0; i + 5 <= t.size(); ++i)
        if (t[i] == ' ' && (t[i + 1] == '1' || t[i + 1] == '2') && (t[i + 2] == '9' || t[i + 2] == '0') &&
            digit(t[i + 3]) && digit(t[i + 4]) && (i + 5 == t.size() || !digit(t[i + 5])))
            return true;
    return false;
}

// The bytes of the host's clock in a recorded buffer: NUL-terminated text
// fields that spell a time of day or a date, with their NUL padding.
std::vector<bool> clock_mask(std::span<const std::uint8_t> bytes) {
    std::vector<bool> mask(bytes.size(), false);
    std::size_t i = 0;
    while (i < bytes.size()) {
        if (bytes[i] < 0x20 || bytes[i] == 0x7F) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < bytes.size() && bytes[end] >= 0x20 && bytes[end] != 0x7F) ++end;
        const bool field = (i == 0 || bytes[i - 1] == 0) && (end == bytes.size() || bytes[end] == 0);
        std::size_t pad = end;
        while (pad < bytes.size() && bytes[pad] == 0) ++pad;
        if (field && clock_text(bytes.subspan(i, end - i)))
            for (std::size_t k = i; k < pad; ++k) mask[k] = true;
        i = end;
    }
    return mask;
}

// A request as recorded, but for the host's clock in the texts it carries.
bool same_request(const UsbRequest& recorded, const UsbRequest& got) {
    if (recorded == got) return true;
    if (recorded.code != got.code || recorded.capacity != got.capacity || recorded.payload != got.payload ||
        recorded.input.size() != got.input.size())
        return false;
    const auto mask = clock_mask(recorded.input);
    for (std::size_t i = 0; i < got.input.size(); ++i) {
        if (recorded.input[i] == got.input[i]) continue;
        const std::uint8_t c = got.input[i];
        if (!mask[i] || (c != 0 && (c < 0x20 || c == 0x7F))) return false;
    }
    return true;
}

}  // namespace

bool is_descriptor_read(const UsbRequest& r) {
    return (r.code == usbchannel::kReadDescriptor || r.code == usbchannel::kReadDescriptorEzusb) &&
           r.input.empty() && r.payload.empty();
}

std::string describe(const UsbRequest& r) {
    return "usb req " + record::usb_request_fields(r.code, r.capacity, r.input, r.payload);
}

std::optional<Script> load_script(const std::string& text, std::string* error) {
    const auto parsed = record::parse(text, error);
    if (!parsed) return std::nullopt;
    Script s;
    for (const auto& c : parsed->comments)
        if (c.rfind("command: ", 0) == 0) s.command = c.substr(9);
    std::optional<std::string> link;
    for (std::size_t i = 0; i < parsed->events.size(); ++i) {
        const record::Event& e = parsed->events[i];
        if (link && *link != e.link) {
            fail(error, at(e) + "a record of one link is replayed; this one also has " + e.link);
            return std::nullopt;
        }
        link = e.link;
        if (e.kind == "open") {
            // The replay makes a socket of this name and removes it at the end: a
            // name that reached out of the folder would replace someone's file.
            if (!usable_target(e.link, e.fields[0])) {
                const std::string what = "\"" + record::shown(e.fields[0]) + "\"";
                fail(error, at(e) + (e.link == "usb"   ? "the socket " + what + " is not a name in the channel folder"
                                     : e.link == "bt" ? "the address " + what + " is not a name in the Bluetooth folder"
                                                      : what + " is not a serial port COM<n>"));
                return std::nullopt;
            }
            if (s.target.empty()) s.target = e.fields[0];
        }
        if (e.kind == "id") {
            s.identity.clear();
            for (const auto& f : e.fields) s.identity += (s.identity.empty() ? "" : " ") + f;
        }
        const bool ok = e.link == "usb" ? add_usb(s, e, i, error) : add_stream(s, e, i, error);
        if (!ok) return std::nullopt;
    }
    if (!link) {
        fail(error, "the record holds no exchange");
        return std::nullopt;
    }
    s.link = *link == "usb" ? Link::Usb : *link == "com" ? Link::Serial : Link::Bluetooth;
    if (s.link == Link::Usb) {
        // A request whose reply never made it into the file (the recording
        // process was killed) ends the record there.
        if (!s.exchanges.empty() && s.exchanges.back().reply.returned == 0xFFFFFFFFu && !s.exchanges.back().reply.lost)
            s.exchanges.pop_back();
    }
    if (s.target.empty()) {
        fail(error, "the record does not say what was opened (no \"open\" event)");
        return std::nullopt;
    }
    return s;
}

// ---- USB ---------------------------------------------------------------------

void UsbMatcher::learn_clock(const UsbRequest& recorded, const UsbRequest& got) {
    if (recorded.input == got.input) return;
    // Each clock field that differs is replaced in the replies from now on:
    // the instrument gives back what this host wrote, not what the recording host did.
    const auto mask = clock_mask(recorded.input);
    std::size_t i = 0;
    while (i < mask.size()) {
        if (!mask[i]) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < mask.size() && mask[end]) ++end;
        std::vector<std::uint8_t> from(recorded.input.begin() + static_cast<std::ptrdiff_t>(i),
                                       recorded.input.begin() + static_cast<std::ptrdiff_t>(end));
        std::vector<std::uint8_t> to(got.input.begin() + static_cast<std::ptrdiff_t>(i),
                                     got.input.begin() + static_cast<std::ptrdiff_t>(end));
        if (from != to) clock_fields_.emplace_back(std::move(from), std::move(to));
        i = end;
    }
}

UsbReply UsbMatcher::with_clock(const UsbReply& recorded) const {
    UsbReply reply = recorded;
    for (const auto& [from, to] : clock_fields_) {
        auto at = reply.data.begin();
        while ((at = std::search(at, reply.data.end(), from.begin(), from.end())) != reply.data.end()) {
            std::copy(to.begin(), to.end(), at);
            at += static_cast<std::ptrdiff_t>(from.size());
        }
    }
    return reply;
}

const UsbExchange* UsbMatcher::pending() const {
    for (std::size_t i = next_; i < exchanges_.size(); ++i)
        if (!is_descriptor_read(exchanges_[i].request)) return &exchanges_[i];
    return nullptr;
}

std::optional<UsbReply> UsbMatcher::answer(const UsbRequest& request) {
    if (difference_) return std::nullopt;
    // Recorded liveness reads the host has not sent this time are passed over.
    std::size_t next = next_;
    if (!is_descriptor_read(request))
        while (next < exchanges_.size() && is_descriptor_read(exchanges_[next].request)) ++next;
    if (next < exchanges_.size() && same_request(exchanges_[next].request, request)) {
        next_ = next + 1;
        last_ = &exchanges_[next];
        learn_clock(last_->request, request);
        return with_clock(last_->reply);
    }
    if (last_ != nullptr && last_->request == request) return with_clock(last_->reply);
    if (is_descriptor_read(request)) {
        // The nearest recorded descriptor read of this code: the one last passed, else the next one.
        const UsbExchange* found = nullptr;
        for (std::size_t i = 0; i < exchanges_.size(); ++i) {
            if (exchanges_[i].request != request) continue;
            if (i < next_ || found == nullptr) found = &exchanges_[i];
            if (i >= next_) break;
        }
        if (found != nullptr) return with_clock(found->reply);
    }
    Difference d;
    d.got = describe(request);
    if (const UsbExchange* p = next < exchanges_.size() ? &exchanges_[next] : nullptr) {
        d.line = p->line;
        d.index = p->index;
        d.expected = describe(p->request);
    } else {
        d.expected = "nothing more (the record ends)";
        if (!exchanges_.empty()) {
            d.line = exchanges_.back().line;
            d.index = exchanges_.back().index;
        }
    }
    difference_ = std::move(d);
    return std::nullopt;
}

// ---- Streams -----------------------------------------------------------------

void StreamMatcher::pump(std::vector<std::uint8_t>& to_host) {
    while (next_ < chunks_.size() && !chunks_[next_].from_host) {
        const auto& b = chunks_[next_].bytes;
        to_host.insert(to_host.end(), b.begin(), b.end());
        ++next_;
        offset_ = 0;
    }
}

bool StreamMatcher::take(std::span<const std::uint8_t> from_host, std::vector<std::uint8_t>& to_host) {
    if (difference_) return false;
    pump(to_host);
    for (std::size_t i = 0; i < from_host.size(); ++i) {
        const std::uint8_t b = from_host[i];
        if (next_ >= chunks_.size() || chunks_[next_].bytes[offset_] != b) {
            Difference d;
            const auto rest = from_host.subspan(i, std::min<std::size_t>(from_host.size() - i, 32));
            d.got = "tx " + record::hex(rest) + " (" + std::to_string(from_host.size() - i) + " byte(s))";
            if (next_ < chunks_.size()) {
                const Chunk& c = chunks_[next_];
                d.line = c.line;
                d.index = c.index;
                const auto want = std::span(c.bytes).subspan(offset_, std::min<std::size_t>(c.bytes.size() - offset_, 32));
                d.expected = "tx " + record::hex(want) + " (byte " + std::to_string(offset_) + " of " +
                             std::to_string(c.bytes.size()) + " written from this line on)";
            } else {
                d.expected = "nothing more (the record ends)";
                if (!chunks_.empty()) {
                    d.line = chunks_.back().line;
                    d.index = chunks_.back().index;
                }
            }
            difference_ = std::move(d);
            return false;
        }
        if (++offset_ == chunks_[next_].bytes.size()) {
            ++next_;
            offset_ = 0;
            pump(to_host);
        }
    }
    return true;
}

}  // namespace tola::sim::replay
