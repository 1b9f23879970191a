#include "sim/replay_server.h"

#include <array>
#include <fstream>
#include <iostream>
#include <sstream>

#include "comm/platform/usb_channel_frame.h"
#include "platform/termination_signals.h"
#include "sim/platform/pty.h"
#include "sim/platform/unix_socket.h"
#include "sim/replay_script.h"

namespace tola::sim {
namespace {

using replay::Difference;

struct Served {
    os::Fd listener;           // usb, bt
    os::Fd connection;         // usb, bt: the host's connection
    os::Pty pty;               // serial
    std::filesystem::path socket;
    std::filesystem::path name_file;

    int line() const { return pty.master ? pty.master.get() : connection.get(); }
};

void report(std::ostream& err, const std::filesystem::path& file, const Difference& d) {
    err << "chromatik-sim: the replay of " << file.string() << " differs at line " << d.line << " (event "
        << d.index << ")\n"
        << "  expected: " << d.expected << '\n'
        << "  got:      " << d.got << '\n';
}

// ---- USB -----------------------------------------------------------------------

// Reads one request from the connection; false when the host closed it.
bool read_request(const os::Fd& fd, replay::UsbRequest& request) {
    using namespace std::chrono_literals;
    namespace frame = usbchannel;
    std::array<std::uint8_t, frame::kHeaderSize> header{};
    if (!os::receive_exact(fd, header, 10s)) return false;
    const auto h = frame::parse_request_header(header);
    if (!h) return false;
    request.code = h->code;
    request.capacity = h->output_capacity;
    request.input.assign(h->input_length, 0);
    request.payload.assign(h->payload_length, 0);
    if (!request.input.empty() && !os::receive_exact(fd, request.input, 10s)) return false;
    if (!request.payload.empty() && !os::receive_exact(fd, request.payload, 10s)) return false;
    return true;
}

// Serves one request waiting on the connection.  False on a difference.
bool serve_usb(Served& s, replay::UsbMatcher& matcher) {
    replay::UsbRequest request;
    if (!read_request(s.connection, request)) {
        s.connection.reset();
        return true;
    }
    const auto reply = matcher.answer(request);
    if (!reply) return false;
    if (reply->lost) {
        // The host saw no valid reply: it gets none now either, at once.
        s.connection.reset();
        return true;
    }
    usbchannel::Reply r{reply->success, reply->returned, reply->data};
    if (!os::send_all(s.connection, usbchannel::encode(r), std::chrono::seconds(10))) s.connection.reset();
    return true;
}

// ---- Streams ---------------------------------------------------------------------

void send_to_host(Served& s, const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size() && s.line() >= 0) {
        const auto rest = std::span(bytes).subspan(done);
        const long n = s.pty.master ? os::write_fd(s.line(), rest) : os::write_some(s.connection, rest);
        if (n == -1) {
            pollfd p{s.line(), POLLOUT, 0};
            std::vector<pollfd> fds{p};
            if (os::wait_for(fds, 5000) <= 0) return;
            continue;
        }
        if (n < 0) {
            if (!s.pty.master) s.connection.reset();
            return;
        }
        done += static_cast<std::size_t>(n);
    }
}

// Takes what the host wrote; false on a difference.
bool serve_stream(Served& s, replay::StreamMatcher& matcher) {
    std::array<std::uint8_t, 4096> buffer{};
    for (;;) {
        if (s.line() < 0) return true;
        const long n = s.pty.master ? os::read_fd(s.line(), buffer) : os::read_some(s.connection, buffer);
        if (n == -1) return true;
        if (n <= 0) {
            if (!s.pty.master) s.connection.reset();
            return true;
        }
        std::vector<std::uint8_t> out;
        const bool same = matcher.take(std::span(buffer).first(static_cast<std::size_t>(n)), out);
        send_to_host(s, out);
        if (!same) return false;
    }
}

std::string describe_pending(const replay::Script& script, const replay::UsbMatcher& usb,
                             const replay::StreamMatcher& stream) {
    if (script.link == replay::Link::Usb) {
        const auto* p = usb.pending();
        return p ? "line " + std::to_string(p->line) + " (event " + std::to_string(p->index) +
                       "): " + replay::describe(p->request)
                 : std::string();
    }
    const auto* c = stream.pending();
    return c ? "line " + std::to_string(c->line) + " (event " + std::to_string(c->index) + "), byte " +
                   std::to_string(stream.pending_offset()) + " of " + std::to_string(c->bytes.size())
             : std::string();
}

}  // namespace

int run_replay(const ReplayOptions& options, std::ostream& out, std::ostream& err) {
    std::ifstream in(options.file);
    if (!in) {
        err << "chromatik-sim: cannot read " << options.file.string() << '\n';
        return 2;
    }
    std::stringstream text;
    text << in.rdbuf();
    std::string error;
    const auto script = replay::load_script(text.str(), &error);
    if (!script) {
        err << "chromatik-sim: " << options.file.string() << ": " << error << '\n';
        return 2;
    }
    std::string signal_error;
    const int signals = tola::os::route_termination_signals(signal_error);
    if (signals < 0) {
        err << "chromatik-sim: " << signal_error << '\n';
        return 2;
    }

    Served s;
    replay::UsbMatcher usb(script->exchanges);
    replay::StreamMatcher stream(script->chunks);
    switch (script->link) {
        case replay::Link::Usb:
            s.socket = options.usb_dir / script->target;
            s.listener = os::listen_at(s.socket, &error);
            if (!s.listener) {
                err << "chromatik-sim: " << error << '\n';
                return 2;
            }
            out << "replay usb socket " << s.socket.string() << '\n';
            break;
        case replay::Link::Serial:
            s.pty = os::open_pty(&error);
            if (!s.pty.master) {
                err << "chromatik-sim: no pseudo-terminal: " << error << '\n';
                return 2;
            }
            out << "replay serial-port " << s.pty.slave_path.string() << " as " << script->target << '\n';
            break;
        case replay::Link::Bluetooth:
            s.socket = options.bt_dir / script->target;
            s.name_file = options.bt_dir / (script->target + ".name");
            s.listener = os::listen_at(s.socket, &error);
            if (!s.listener) {
                err << "chromatik-sim: " << error << '\n';
                return 2;
            }
            std::ofstream(s.name_file, std::ios::trunc) << "Chromatik replay " << script->target << '\n';
            out << "replay bluetooth " << script->target << " in " << options.bt_dir.string() << '\n';
            break;
    }
    if (!script->identity.empty()) out << "identity " << script->identity << '\n';
    out << "ready\n" << std::flush;

    auto cleanup = [&] {
        s.connection.reset();
        s.pty = os::Pty{};
        if (s.listener) {
            s.listener.reset();
            os::remove_socket_file(s.socket);
        }
        std::error_code ec;
        if (!s.name_file.empty()) std::filesystem::remove(s.name_file, ec);
        tola::os::restore_termination_signals();
    };

    bool same = true;
    if (script->link == replay::Link::Serial) {
        std::vector<std::uint8_t> first;
        stream.take({}, first);
        send_to_host(s, first);
    }
    for (bool stopping = false; same && !stopping;) {
        std::vector<pollfd> fds{{signals, POLLIN, 0}};
        if (s.listener) fds.push_back({s.listener.get(), POLLIN, 0});
        if (s.line() >= 0) fds.push_back({s.line(), POLLIN, 0});
        if (os::wait_for(fds, -1) < 0) break;
        if (fds[0].revents) {
            // Whatever the host sent before the end still counts.
            stopping = !tola::os::take_termination_signals().empty();
        }
        for (std::size_t i = 1; i < fds.size() && same; ++i) {
            if (!fds[i].revents) continue;
            if (s.listener && fds[i].fd == s.listener.get()) {
                if (os::Fd fd = os::accept_from(s.listener)) {
                    // One host at a time: a new connection replaces the old one.
                    s.connection = std::move(fd);
                    if (script->link == replay::Link::Bluetooth) {
                        std::vector<std::uint8_t> first;
                        stream.take({}, first);
                        send_to_host(s, first);
                    }
                }
                continue;
            }
            if (fds[i].fd != s.line()) continue;
            same = script->link == replay::Link::Usb ? serve_usb(s, usb) : serve_stream(s, stream);
        }
        if (stopping && same && script->link != replay::Link::Usb) same = serve_stream(s, stream);
    }
    if (!same) {
        // The host sees failures from here on: the socket or terminal is gone.
        cleanup();
        report(err, options.file, script->link == replay::Link::Usb ? *usb.difference() : *stream.difference());
        return 1;
    }
    cleanup();
    const std::string pending = describe_pending(*script, usb, stream);
    if (!pending.empty()) {
        err << "chromatik-sim: the replay of " << options.file.string() << " ended before " << pending << '\n';
        return 1;
    }
    out << "replay complete\n";
    return 0;
}

}  // namespace tola::sim
