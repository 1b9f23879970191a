#include "sim/simulator.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <iostream>
#include <optional>
#include <stdexcept>

#include "sim/link_server.h"
#include "sim/platform/unix_socket.h"
#include "sim/request_reader.h"

namespace tola::sim {

struct Simulator::Loop {
    struct Connection {
        os::Fd fd;
        std::size_t slot;
        std::uint32_t number;  // counts the connections from 1, for the journal
        RequestReader reader;
        std::vector<std::uint8_t> out;
        std::optional<Clock::time_point> close_at;  // silenced: never answers again
        // A reply held back until the instrument is done (one request at a time:
        // the next request waits in the reader meanwhile).
        std::vector<std::uint8_t> held;
        std::optional<Clock::time_point> release_at;
        bool closing = false;
    };
    struct Slot {
        Instrument* instrument;
        std::filesystem::path path;
        os::Fd listener;
        std::uint64_t generation = 0;
    };

    os::WakeEvent wake;
    std::atomic<bool> stopping{false};
    std::vector<Slot> slots;
    std::vector<std::unique_ptr<Connection>> connections;
    std::uint32_t connections_accepted = 0;

    void run();
    void sync(std::size_t index, Clock::time_point now);
    void drop_socket(std::size_t index);
    void accept_all(std::size_t index);
    void serve(Connection& c, Clock::time_point now);
    void answer_requests(Connection& c, Clock::time_point now);
    void release_held(Connection& c, Clock::time_point now);
    void flush(Connection& c);
    void shut_down();
    int timeout_ms(Clock::time_point now) const;
};

void Simulator::Loop::sync(std::size_t index, Clock::time_point now) {
    Slot& s = slots[index];
    const std::uint64_t gen = s.instrument->generation();
    if (gen != s.generation) {
        // A restart ends every connection, like a device that re-enumerates.
        s.generation = gen;
        drop_socket(index);
    }
    const bool wanted = s.instrument->wants_socket(now);
    if (wanted && !s.listener) {
        std::string error;
        s.listener = os::listen_at(s.path, &error);
        if (!s.listener) std::cerr << "chromatik-sim: " << error << '\n';
        else s.instrument->set_present(true);
    } else if (!wanted && s.listener) {
        drop_socket(index);
    }
}

void Simulator::Loop::drop_socket(std::size_t index) {
    Slot& s = slots[index];
    for (auto& c : connections) {
        if (c->slot != index) continue;
        flush(*c);
        c->closing = true;
    }
    std::erase_if(connections, [](const auto& c) { return c->closing; });
    if (s.listener) {
        s.listener.reset();
        os::remove_socket_file(s.path);
    }
    s.instrument->set_present(false);
}

void Simulator::Loop::accept_all(std::size_t index) {
    for (;;) {
        os::Fd fd = os::accept_from(slots[index].listener);
        if (!fd) return;
        slots[index].instrument->connection_opened();
        auto c = std::make_unique<Connection>();
        c->fd = std::move(fd);
        c->slot = index;
        c->number = ++connections_accepted;
        connections.push_back(std::move(c));
    }
}

void Simulator::Loop::flush(Connection& c) {
    while (!c.out.empty()) {
        const long n = os::write_some(c.fd, c.out);
        if (n == -1) return;  // the rest when the socket takes it
        if (n < 0) {
            c.out.clear();
            c.closing = true;
            return;
        }
        c.out.erase(c.out.begin(), c.out.begin() + n);
    }
}

void Simulator::Loop::serve(Connection& c, Clock::time_point now) {
    std::array<std::uint8_t, 16384> buffer{};
    for (;;) {
        const long n = os::read_some(c.fd, buffer);
        if (n == -1) break;
        if (n <= 0) {
            c.closing = true;
            return;
        }
        if (c.close_at) continue;  // a silent instrument hears nothing more
        c.reader.append(std::span(buffer).first(static_cast<std::size_t>(n)));
        answer_requests(c, now);
        if (c.closing) return;
    }
}

void Simulator::Loop::answer_requests(Connection& c, Clock::time_point now) {
    usbchannel::Request request;
    while (!c.release_at && !c.close_at) {
        const auto status = c.reader.next(request);
        if (status == RequestReader::Status::NeedMore) return;
        if (status == RequestReader::Status::Malformed) {
            c.closing = true;
            return;
        }
        Instrument& inst = *slots[c.slot].instrument;
        auto outcome = inst.handle(request, now, c.number);
        if (!outcome.answer) {
            c.close_at = now + inst.silent_close_after();
            return;
        }
        auto bytes = usbchannel::encode(outcome.reply);
        if (outcome.delay > Clock::duration{}) {
            c.held = std::move(bytes);
            c.release_at = now + outcome.delay;
            return;
        }
        c.out.insert(c.out.end(), bytes.begin(), bytes.end());
        flush(c);
        if (c.closing) return;
    }
}

void Simulator::Loop::release_held(Connection& c, Clock::time_point now) {
    if (!c.release_at || *c.release_at > now) return;
    c.release_at.reset();
    c.out.insert(c.out.end(), c.held.begin(), c.held.end());
    c.held.clear();
    flush(c);
    if (!c.closing) answer_requests(c, now);
}

int Simulator::Loop::timeout_ms(Clock::time_point now) const {
    std::optional<Clock::time_point> next;
    auto consider = [&](std::optional<Clock::time_point> t) {
        if (t && (!next || *t < *next)) next = t;
    };
    for (const auto& s : slots) consider(s.instrument->next_deadline());
    for (const auto& c : connections) {
        consider(c->close_at);
        consider(c->release_at);
    }
    if (!next) return -1;
    if (*next <= now) return 0;
    // Round up so the deadline has passed when poll() returns.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(*next - now).count();
    return static_cast<int>(std::min<long long>(ms, 60000));
}

void Simulator::Loop::run() {
    while (!stopping.load()) {
        auto now = Clock::now();
        for (std::size_t i = 0; i < slots.size(); ++i) {
            slots[i].instrument->tick(now);
            sync(i, now);
        }
        for (auto& c : connections) release_held(*c, now);
        std::erase_if(connections, [&](const auto& c) { return c->closing || (c->close_at && *c->close_at <= now); });

        std::vector<pollfd> fds;
        fds.push_back(pollfd{wake.fd(), POLLIN, 0});
        std::vector<std::size_t> listener_of;
        for (std::size_t i = 0; i < slots.size(); ++i) {
            if (!slots[i].listener) continue;
            fds.push_back(pollfd{slots[i].listener.get(), POLLIN, 0});
            listener_of.push_back(i);
        }
        const std::size_t first_connection = fds.size();
        for (const auto& c : connections) {
            const short events = static_cast<short>(POLLIN | (c->out.empty() ? 0 : POLLOUT));
            fds.push_back(pollfd{c->fd.get(), events, 0});
        }

        if (os::wait_for(fds, timeout_ms(now)) < 0) {
            std::cerr << "chromatik-sim: poll failed\n";
            return;
        }
        now = Clock::now();
        if (fds[0].revents) wake.drain();
        for (std::size_t k = 0; k < listener_of.size(); ++k)
            if (fds[1 + k].revents & POLLIN) accept_all(listener_of[k]);
        // Connections accepted just now are not in fds; they are polled next round.
        const std::size_t polled = fds.size() - first_connection;
        for (std::size_t k = 0; k < polled; ++k) {
            Connection& c = *connections[k];
            const short ev = fds[first_connection + k].revents;
            if (ev & POLLOUT) flush(c);
            if (ev & (POLLIN | POLLHUP | POLLERR)) serve(c, now);
        }
    }
}

void Simulator::Loop::shut_down() {
    for (auto& c : connections) flush(*c);
    connections.clear();
    for (std::size_t i = 0; i < slots.size(); ++i) drop_socket(i);
}

Simulator::Simulator(std::filesystem::path usb_dir, std::filesystem::path bt_dir)
    : usb_dir_(std::move(usb_dir)), bt_dir_(bt_dir.empty() ? usb_dir_.parent_path() / "bt" : std::move(bt_dir)),
      loop_(std::make_unique<Loop>()), links_(std::make_unique<LinkServer>(bt_dir_)) {}

Simulator::~Simulator() { stop(); }

Instrument& Simulator::add(InstrumentConfig config) {
    if (thread_.joinable()) throw std::logic_error("instruments are added before the simulator starts");
    if (config.byte_stream_link()) {
        if (config.bluetooth_link() && config.bt_address.empty()) {
            const auto on_bluetooth = [](const auto& inst) { return inst->config().bluetooth_link(); };
            const auto n = std::count_if(instruments_.begin(), instruments_.end(), on_bluetooth) + 1;
            char address[24];
            std::snprintf(address, sizeof address, "00:80:25:AB:CD:%02X", static_cast<unsigned>(n & 0xFF));
            config.bt_address = address;
        }
        auto inst = std::make_unique<Instrument>(std::move(config));
        links_->add(*inst);
        instruments_.push_back(std::move(inst));
        return *instruments_.back();
    }
    if (config.socket.empty()) {
        if (config.kind == 1) {
            config.socket = "ezusb-0";
        } else {
            const auto in_class_folder = [&](const auto& inst) {
                return inst->socket_path().parent_path().filename() == kInterfaceClassFolder;
            };
            config.socket = "dev" + std::to_string(std::count_if(instruments_.begin(), instruments_.end(), in_class_folder));
        }
    }
    const auto path = usb_dir_ / socket_relative_path(config.socket);
    for (const auto& i : instruments_)
        if (i->socket_path() == path) throw std::invalid_argument("socket " + path.string() + " is taken");
    auto inst = std::make_unique<Instrument>(std::move(config));
    inst->set_socket_path(path);
    inst->set_waker([loop = loop_.get()] { loop->wake.signal(); });
    loop_->slots.push_back(Loop::Slot{inst.get(), path, {}, 0});
    instruments_.push_back(std::move(inst));
    return *instruments_.back();
}

void Simulator::start() {
    if (thread_.joinable()) return;
    loop_->stopping = false;
    const auto now = Clock::now();
    for (std::size_t i = 0; i < loop_->slots.size(); ++i) loop_->sync(i, now);
    thread_ = std::thread([this] { loop_->run(); });
    links_->start();
}

void Simulator::stop() {
    links_->stop();
    if (thread_.joinable()) {
        loop_->stopping = true;
        loop_->wake.signal();
        thread_.join();
    }
    loop_->shut_down();
}

}  // namespace tola::sim
