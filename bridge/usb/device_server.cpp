#include "bridge/usb/device_server.h"

#include <algorithm>
#include <cstdio>

#include "bridge/usb/log.h"

namespace tola::usbd {
namespace {

namespace ch = tola::usbchannel;

// Once a request has begun to arrive, the rest must follow this soon.
constexpr int kRequestBodyTimeoutMs = 5000;
// A client that does not take its reply within this time is dropped.
constexpr int kReplyWriteTimeoutMs = 5000;

std::string code_text(std::uint32_t code) {
    char s[16];
    std::snprintf(s, sizeof s, "0x%06X", code);
    return s;
}

}  // namespace

DeviceServer::DeviceServer(UsbBackend& backend, DeviceInfo info, ProductProfile profile)
    : backend_(backend), info_(std::move(info)), mapper_(std::move(profile)) {}

DeviceServer::~DeviceServer() { stop(); }

std::string DeviceServer::name() const { return info_.key; }

bool DeviceServer::add_socket(const std::filesystem::path& path, std::string& error) {
    Fd fd = listen_at(path, error);
    if (!fd) return false;
    {
        std::lock_guard lock(mutex_);
        listeners_.push_back(Listener{path, std::move(fd)});
    }
    wake_.signal();
    return true;
}

void DeviceServer::remove_socket(const std::filesystem::path& path) {
    std::lock_guard lock(mutex_);
    // The serving thread polls copies of the descriptors; it is woken before
    // the listener is closed so that it never waits on a closed descriptor.
    auto it = std::find_if(listeners_.begin(), listeners_.end(), [&](const Listener& l) { return l.path == path; });
    if (it == listeners_.end()) return;
    remove_socket_file(it->path);
    listeners_.erase(it);
    wake_.signal();
}

std::vector<std::filesystem::path> DeviceServer::sockets() const {
    std::lock_guard lock(mutex_);
    std::vector<std::filesystem::path> out;
    for (const auto& l : listeners_) out.push_back(l.path);
    return out;
}

void DeviceServer::record_to(std::filesystem::path dir, std::filesystem::path usb_dir, std::uint64_t max_bytes) {
    record_dir_ = std::move(dir);
    usb_dir_ = std::move(usb_dir);
    record_max_ = max_bytes;
}

void DeviceServer::start() {
    if (thread_.joinable()) return;
    stopping_ = false;
    thread_ = std::thread([this] { run(); });
}

void DeviceServer::stop() {
    if (thread_.joinable()) {
        stopping_ = true;
        wake_.signal();
        thread_.join();
    }
    connections_.clear();
    close_device();
    std::lock_guard lock(mutex_);
    for (const auto& l : listeners_) remove_socket_file(l.path);
    listeners_.clear();
}

void DeviceServer::run() {
    while (!stopping_.load()) {
        std::vector<pollfd> fds;
        fds.push_back(pollfd{wake_.fd(), POLLIN, 0});
        {
            std::lock_guard lock(mutex_);
            for (const auto& l : listeners_) fds.push_back(pollfd{l.fd.get(), POLLIN, 0});
        }
        const std::size_t first_connection = fds.size();
        for (const auto& c : connections_) fds.push_back(pollfd{c->fd.get(), POLLIN, 0});

        if (wait_for(fds, -1) < 0) {
            log_warning(name() + ": poll failed; the device is no longer served");
            return;
        }
        if (fds[0].revents) wake_.drain();
        if (stopping_.load()) return;
        {
            // Listeners may have changed while polling: accept only on those still there.
            std::lock_guard lock(mutex_);
            for (std::size_t k = 1; k < first_connection; ++k) {
                if (!(fds[k].revents & POLLIN)) continue;
                for (const auto& l : listeners_)
                    if (l.fd.get() == fds[k].fd) accept_all(l);
            }
        }
        const std::size_t polled = fds.size() - first_connection;
        for (std::size_t k = 0; k < polled && !stopping_.load(); ++k)
            if (fds[first_connection + k].revents & (POLLIN | POLLHUP | POLLERR)) serve(*connections_[k]);
        std::erase_if(connections_, [](const auto& c) { return c->closing; });
        if (connections_.empty()) close_device();
    }
}

void DeviceServer::accept_all(const Listener& listener) {
    for (;;) {
        Fd fd = accept_from(listener.fd);
        if (!fd) return;
        auto c = std::make_unique<Connection>();
        c->fd = std::move(fd);
        if (!record_dir_.empty()) {
            c->record = std::make_unique<ExchangeRecord>(record_dir_, usb_dir_, listener.path, info_, record_max_);
            if (!c->record->is_open()) {
                log_warning(name() + ": cannot write the record " + c->record->path().string());
                c->record.reset();
            }
        }
        connections_.push_back(std::move(c));
        log_trace(name() + ": client connected");
    }
}

void DeviceServer::serve(Connection& c) {
    ch::Request request;
    switch (read_request(c.fd, request, kRequestBodyTimeoutMs)) {
        case ReadOutcome::Request: break;
        case ReadOutcome::Closed:
            log_trace(name() + ": client disconnected");
            c.closing = true;
            return;
        case ReadOutcome::Malformed:
            log_warning(name() + ": a client sent something that is not a channel request; its connection is closed");
            c.closing = true;
            return;
        case ReadOutcome::TimedOut:
            log_warning(name() + ": a client stopped in the middle of a request; its connection is closed");
            c.closing = true;
            return;
    }
    if (c.record) c.record->request(request);
    const ch::Reply reply = carry(request, c.pending);
    if (c.record) c.record->reply(reply);
    if (!write_reply(c.fd, reply, kReplyWriteTimeoutMs)) {
        log_warning(name() + ": a client did not take its reply; its connection is closed");
        c.closing = true;
    }
}

ch::Reply DeviceServer::carry(const ch::Request& request, PendingWork& pending) {
    if (!device_) {
        std::string error;
        OpenOptions options{mapper_.profile().interface_number, mapper_.profile().alt_setting, {}};
        options.choose_setting = [profile = mapper_.profile()](const std::vector<std::vector<Endpoint>>& settings) {
            return choose_alt_setting(profile, settings);
        };
        device_ = backend_.open(info_, options, error);
        if (device_) {
            open_failure_reported_ = false;
        } else if (!open_failure_reported_) {
            log_warning(name() + ": cannot open the device: " + error);
            open_failure_reported_ = true;
        }
    }
    ch::Reply reply = mapper_.handle(device_.get(), request, pending);
    // Every request of a firmware update passes here: texts are made only when needed.
    if (!reply.success && device_) {
        log_warning(name() + ": request " + code_text(request.code) + " failed: " + mapper_.last_error());
    } else if (tracing_requests()) {
        log_trace(name() + ": " + code_text(request.code) +
                  (reply.success ? " -> " + std::to_string(reply.bytes_returned) + " bytes"
                                 : " refused: " + mapper_.last_error()));
    }
    if (mapper_.device_gone()) {
        log_warning(name() + ": the device has left the bus");
        close_device();
    }
    return reply;
}

void DeviceServer::close_device() { device_.reset(); }

}  // namespace tola::usbd
