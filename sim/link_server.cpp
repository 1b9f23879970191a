#include "sim/link_server.h"

#include <array>
#include <atomic>
#include <fstream>
#include <iostream>
#include <stdexcept>

#include "sim/platform/pty.h"
#include "sim/platform/unix_socket.h"

namespace tola::sim {

struct LinkServer::Loop {
    struct Port {
        Instrument* instrument = nullptr;
        bool bluetooth = false;
        os::Pty pty;                    // serial
        std::filesystem::path socket;   // Bluetooth
        std::filesystem::path name_file;
        os::Fd listener;
        os::Fd connection;
        std::uint64_t generation = 0;
        std::vector<std::uint8_t> out;

        int line() const { return bluetooth ? connection.get() : pty.master.get(); }
    };

    os::WakeEvent wake;
    std::atomic<bool> stopping{false};
    std::vector<Port> ports;

    void run();
    void sync(Port& p, Clock::time_point now);
    void unregister(Port& p);
    void accept(Port& p);
    void read_line(Port& p, Clock::time_point now);
    void deliver(Port& p, Instrument::LinkOutput out);
    void flush(Port& p);
    void close_connection(Port& p);
    int timeout_ms(Clock::time_point now) const;
};

void LinkServer::Loop::sync(Port& p, Clock::time_point now) {
    if (!p.bluetooth) return;
    const std::uint64_t gen = p.instrument->generation();
    if (gen != p.generation) {
        // A restart takes the radio link down; the host connects again.
        p.generation = gen;
        close_connection(p);
    }
    const bool wanted = p.instrument->wants_socket(now);
    if (wanted && !p.listener) {
        std::string error;
        p.listener = os::listen_at(p.socket, &error);
        if (!p.listener) {
            std::cerr << "chromatik-sim: " << error << '\n';
            return;
        }
        std::ofstream(p.name_file, std::ios::trunc) << p.instrument->bt_name() << '\n';
        p.instrument->set_present(true);
    } else if (!wanted && p.listener) {
        unregister(p);
    }
}

void LinkServer::Loop::unregister(Port& p) {
    close_connection(p);
    if (!p.listener) return;
    p.listener.reset();
    os::remove_socket_file(p.socket);
    std::error_code ec;
    std::filesystem::remove(p.name_file, ec);
    p.instrument->set_present(false);
}

void LinkServer::Loop::close_connection(Port& p) {
    if (!p.connection) return;
    flush(p);
    p.connection.reset();
    p.out.clear();
}

void LinkServer::Loop::accept(Port& p) {
    for (;;) {
        os::Fd fd = os::accept_from(p.listener);
        if (!fd) return;
        // One radio link at a time: a new connection replaces the old one.
        close_connection(p);
        p.connection = std::move(fd);
        p.instrument->link_opened();
    }
}

void LinkServer::Loop::flush(Port& p) {
    const int fd = p.line();
    while (!p.out.empty() && fd >= 0) {
        const long n = p.bluetooth ? os::write_some(p.connection, p.out) : os::write_fd(fd, p.out);
        if (n == -1) return;  // the rest when the line takes it
        if (n < 0) {
            p.out.clear();
            if (p.bluetooth) p.connection.reset();
            return;
        }
        p.out.erase(p.out.begin(), p.out.begin() + n);
    }
}

void LinkServer::Loop::deliver(Port& p, Instrument::LinkOutput out) {
    if (p.line() < 0) return;
    p.out.insert(p.out.end(), out.bytes.begin(), out.bytes.end());
    flush(p);
    if (out.drop && p.bluetooth) close_connection(p);
}

void LinkServer::Loop::read_line(Port& p, Clock::time_point now) {
    std::array<std::uint8_t, 4096> buffer{};
    for (;;) {
        if (p.line() < 0) return;
        const long n = p.bluetooth ? os::read_some(p.connection, buffer) : os::read_fd(p.line(), buffer);
        if (n == -1) return;
        if (n <= 0) {
            if (p.bluetooth) close_connection(p);
            return;  // a pseudo-terminal's master sees no end: the instrument keeps its slave open
        }
        deliver(p, p.instrument->link_receive(std::span(buffer).first(static_cast<std::size_t>(n)), now));
    }
}

int LinkServer::Loop::timeout_ms(Clock::time_point now) const {
    std::optional<Clock::time_point> next;
    auto consider = [&](std::optional<Clock::time_point> t) {
        if (t && (!next || *t < *next)) next = t;
    };
    for (const auto& p : ports) {
        consider(p.instrument->next_deadline());
        consider(p.instrument->link_deadline());
    }
    if (!next) return -1;
    if (*next <= now) return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(*next - now).count();
    return static_cast<int>(std::min<long long>(ms, 60000));
}

void LinkServer::Loop::run() {
    while (!stopping.load()) {
        auto now = Clock::now();
        for (auto& p : ports) {
            p.instrument->tick(now);
            sync(p, now);
            deliver(p, p.instrument->link_tick(now));
        }

        std::vector<pollfd> fds;
        fds.push_back(pollfd{wake.fd(), POLLIN, 0});
        struct Polled {
            std::size_t port;
            bool listener;
        };
        std::vector<Polled> polled;
        for (std::size_t i = 0; i < ports.size(); ++i) {
            Port& p = ports[i];
            if (p.listener) {
                fds.push_back(pollfd{p.listener.get(), POLLIN, 0});
                polled.push_back({i, true});
            }
            if (p.line() >= 0) {
                const short events = static_cast<short>(POLLIN | (p.out.empty() ? 0 : POLLOUT));
                fds.push_back(pollfd{p.line(), events, 0});
                polled.push_back({i, false});
            }
        }
        if (os::wait_for(fds, timeout_ms(now)) < 0) {
            std::cerr << "chromatik-sim: poll failed\n";
            return;
        }
        now = Clock::now();
        if (fds[0].revents) wake.drain();
        for (std::size_t k = 0; k < polled.size(); ++k) {
            Port& p = ports[polled[k].port];
            const short ev = fds[k + 1].revents;
            if (!ev) continue;
            if (polled[k].listener) {
                accept(p);
                continue;
            }
            if (fds[k + 1].fd != p.line()) continue;  // replaced by a newer connection this round
            if (ev & POLLOUT) flush(p);
            if (ev & (POLLIN | POLLHUP | POLLERR)) read_line(p, now);
        }
    }
}

LinkServer::LinkServer(std::filesystem::path bt_dir) : bt_dir_(std::move(bt_dir)), loop_(std::make_unique<Loop>()) {}

LinkServer::~LinkServer() { stop(); }

void LinkServer::add(Instrument& instrument) {
    if (thread_.joinable()) throw std::logic_error("instruments are added before the links are served");
    Loop::Port p;
    p.instrument = &instrument;
    p.bluetooth = instrument.config().bluetooth_link();
    if (p.bluetooth) {
        p.socket = bt_dir_ / instrument.bt_address();
        p.name_file = bt_dir_ / (instrument.bt_address() + ".name");
        for (const auto& other : loop_->ports)
            if (other.bluetooth && other.socket == p.socket)
                throw std::invalid_argument("Bluetooth address " + instrument.bt_address() + " is taken");
        instrument.set_bt_socket_path(p.socket);
    } else {
        std::string error;
        p.pty = os::open_pty(&error);
        if (!p.pty.master) throw std::runtime_error("no pseudo-terminal: " + error);
        instrument.set_serial_path(p.pty.slave_path);
        instrument.set_present(true);
    }
    p.generation = instrument.generation();
    instrument.set_waker([loop = loop_.get()] { loop->wake.signal(); });
    loop_->ports.push_back(std::move(p));
}

void LinkServer::start() {
    if (thread_.joinable()) return;
    loop_->stopping = false;
    const auto now = Clock::now();
    for (auto& p : loop_->ports) loop_->sync(p, now);
    thread_ = std::thread([this] { loop_->run(); });
}

void LinkServer::stop() {
    if (thread_.joinable()) {
        loop_->stopping = true;
        loop_->wake.signal();
        thread_.join();
    }
    for (auto& p : loop_->ports) {
        loop_->flush(p);
        loop_->unregister(p);
    }
}

}  // namespace tola::sim
