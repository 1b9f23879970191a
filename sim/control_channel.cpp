#include "sim/control_channel.h"

#include <array>
#include <sstream>
#include <vector>

#include "sim/faults.h"
#include "sim/platform/unix_socket.h"

namespace tola::sim {

std::string control_command(Simulator& simulator, std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
    const auto space = line.find(' ');
    const std::string_view head = line.substr(0, space);
    const std::string_view rest = space == std::string_view::npos ? std::string_view{} : line.substr(space + 1);

    auto instrument_at = [&](std::string_view text) -> Instrument* {
        const auto n = parse_number(text);
        if (!n || *n >= simulator.size()) return nullptr;
        return &simulator.instrument(static_cast<std::size_t>(*n));
    };

    if (head == "list") {
        std::ostringstream out;
        for (std::size_t i = 0; i < simulator.size(); ++i)
            out << i << ' ' << simulator.instrument(i).socket_path().string() << '\n';
        out << '.';
        return out.str();
    }
    if (head == "journal") {
        Instrument* inst = instrument_at(rest);
        if (!inst) return "error no such instrument";
        std::ostringstream out;
        inst->journal().dump(out);
        out << '.';
        return out.str();
    }
    Instrument* inst = instrument_at(head);
    if (!inst) return "error no such instrument";
    if (rest == "trigger") {
        inst->press_trigger();
        return "ok";
    }
    if (rest == "echo") return inst->send_again() ? "ok" : "error the queue is empty";
    std::string why;
    if (!inst->inject(rest, &why)) return "error " + why;
    return "ok";
}

std::optional<std::string> ask_control(const std::filesystem::path& path, std::string_view line,
                                       std::chrono::milliseconds timeout) {
    os::Fd fd = os::connect_to(path);
    if (!fd) return std::nullopt;
    std::string request(line);
    request += '\n';
    if (!os::send_all(fd, std::span(reinterpret_cast<const std::uint8_t*>(request.data()), request.size()), timeout))
        return std::nullopt;
    const bool listing = line.rfind("list", 0) == 0 || line.rfind("journal", 0) == 0;
    // A listing ends with a line holding only "."; any other answer is one line.
    const auto complete = [&](const std::string& text) {
        if (!text.ends_with('\n')) return false;
        return !listing || text == ".\n" || text.ends_with("\n.\n");
    };
    // A journal runs to hundreds of kilobytes: it is read in blocks, each within the time-out.
    std::string answer;
    std::array<std::uint8_t, 16384> block{};
    while (!complete(answer)) {
        std::vector<pollfd> ready{{fd.get(), POLLIN, 0}};
        if (os::wait_for(ready, static_cast<int>(timeout.count())) <= 0) return std::nullopt;
        const long n = os::read_some(fd, block);
        if (n == -1) continue;
        if (n <= 0) return std::nullopt;
        answer.append(reinterpret_cast<const char*>(block.data()), static_cast<std::size_t>(n));
    }
    answer.pop_back();
    return answer;
}

struct ControlChannel::Impl {
    Impl(Simulator& s, std::filesystem::path p) : simulator(s), path(std::move(p)) {}

    Simulator& simulator;
    std::filesystem::path path;
    os::Fd listener;
    os::WakeEvent wake;
    std::atomic<bool> stopping{false};

    void run() {
        struct Conn {
            os::Fd fd;
            std::string in;
        };
        std::vector<Conn> conns;
        std::array<std::uint8_t, 4096> buf{};
        while (!stopping) {
            std::vector<pollfd> fds{{wake.fd(), POLLIN, 0}, {listener.get(), POLLIN, 0}};
            for (auto& c : conns) fds.push_back(pollfd{c.fd.get(), POLLIN, 0});
            if (os::wait_for(fds, -1) < 0) return;
            if (fds[1].revents & POLLIN)
                if (os::Fd fd = os::accept_from(listener)) conns.push_back(Conn{std::move(fd), {}});
            for (std::size_t k = 0; k + 2 < fds.size(); ++k) {
                if (!fds[k + 2].revents) continue;
                Conn& c = conns[k];
                const long n = os::read_some(c.fd, buf);
                if (n == 0 || n == -2) {
                    c.fd.reset();
                    continue;
                }
                if (n < 0) continue;
                c.in.append(reinterpret_cast<const char*>(buf.data()), static_cast<std::size_t>(n));
                for (auto nl = c.in.find('\n'); nl != std::string::npos; nl = c.in.find('\n')) {
                    const std::string answer = control_command(simulator, std::string_view(c.in).substr(0, nl)) + "\n";
                    c.in.erase(0, nl + 1);
                    // Long enough for a large journal to reach a reader on a busy machine.
                    os::send_all(c.fd, std::span(reinterpret_cast<const std::uint8_t*>(answer.data()), answer.size()),
                                 std::chrono::seconds(10));
                }
            }
            std::erase_if(conns, [](const Conn& c) { return !c.fd; });
        }
    }
};

ControlChannel::ControlChannel(Simulator& simulator, std::filesystem::path path)
    : impl_(std::make_unique<Impl>(simulator, std::move(path))) {
    impl_->listener = os::listen_at(impl_->path, &error_);
    listening_ = static_cast<bool>(impl_->listener);
    if (listening_) thread_ = std::thread([this] { impl_->run(); });
}

ControlChannel::~ControlChannel() {
    if (thread_.joinable()) {
        impl_->stopping = true;
        impl_->wake.signal();
        thread_.join();
    }
    if (listening_) os::remove_socket_file(impl_->path);
}

}  // namespace tola::sim
