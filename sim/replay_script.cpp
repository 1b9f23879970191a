#include "sim/replay_script.h"

#include <algorithm>
#include <charconv>

#include "comm/platform/record_format.h"
#include "comm/platform/usb_channel_frame.h"

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

std::string at(const record::Event& e) { return "line " + std::to_string(e.line) + ": "; }

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
    if (!bytes) return fail(error, at(e) + "bytes are \"" + e.kind + " <hex>\"");
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
        if (e.kind == "open" && s.target.empty() && !e.fields.empty()) s.target = e.fields[0];
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
    if (next < exchanges_.size() && exchanges_[next].request == request) {
        next_ = next + 1;
        last_ = &exchanges_[next];
        return last_->reply;
    }
    if (last_ != nullptr && last_->request == request) return last_->reply;
    if (is_descriptor_read(request)) {
        // The nearest recorded descriptor read of this code: the one last passed, else the next one.
        const UsbExchange* found = nullptr;
        for (std::size_t i = 0; i < exchanges_.size(); ++i) {
            if (exchanges_[i].request != request) continue;
            if (i < next_ || found == nullptr) found = &exchanges_[i];
            if (i >= next_) break;
        }
        if (found != nullptr) return found->reply;
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
