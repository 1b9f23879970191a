#include "bridge/usb/bridge.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "bridge/usb/channel_socket.h"
#include "bridge/usb/log.h"

namespace tola::usbd {
namespace {

std::string id_text(const DeviceInfo& info) {
    char s[16];
    std::snprintf(s, sizeof s, "%04x:%04x", info.vendor, info.product);
    return s;
}

}  // namespace

std::string socket_name(const std::string& key) {
    std::string s = key;
    for (char& c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (!std::isalnum(u) && c != '-' && c != '.' && c != '_') c = '_';
    }
    if (s.empty() || s.front() == '.') s.insert(s.begin(), '_');
    return s;
}

Bridge::Bridge(UsbBackend& backend, BridgeOptions options) : backend_(backend), options_(std::move(options)) {}

Bridge::~Bridge() { stop(); }

std::filesystem::path Bridge::class_socket(const DeviceInfo& info) const {
    return options_.usb_dir / kInterfaceClassFolder / socket_name(info.key);
}

bool Bridge::start(std::string& error) {
    if (thread_.joinable()) return true;
    if (!make_private_folder(options_.usb_dir / kInterfaceClassFolder, error)) return false;
    // Sockets of a run that crashed would lead the library's search to a dead end.
    remove_stale_sockets(options_.usb_dir / kInterfaceClassFolder);
    remove_stale_sockets(options_.usb_dir);
    {
        std::lock_guard lock(mutex_);
        stopping_ = false;
    }
    thread_ = std::thread([this] { run(); });
    // Events queue up behind the devices found now; a device seen twice is served once.
    std::string why;
    const bool events = backend_.start_events(
        [this](UsbBackend::Event kind, const DeviceInfo& info) {
            {
                std::lock_guard lock(mutex_);
                events_.push_back(Event{kind, info});
            }
            changed_.notify_all();
        },
        why);
    if (!events) log_warning("devices plugged in later are not seen: " + why);
    // A device that leaves between the listing and its arrival being queued has
    // its departure queued first; the resync behind the listing looks at the
    // bus again once everything before it is done.
    const auto present = backend_.devices();
    {
        std::lock_guard lock(mutex_);
        for (const auto& info : present) events_.push_back(Event{UsbBackend::Event::Arrived, info});
        events_.push_back(Event{UsbBackend::Event::Arrived, {}, true});
    }
    changed_.notify_all();
    return true;
}

void Bridge::stop() {
    backend_.stop_events();
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
    std::map<std::string, std::unique_ptr<DeviceServer>> servers;
    {
        std::lock_guard lock(mutex_);
        servers.swap(servers_);
        ezusb_holder_.clear();
        events_.clear();
    }
    for (auto& [key, server] : servers) server->stop();
    changed_.notify_all();
}

void Bridge::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return stopping_ || !events_.empty(); });
        if (stopping_) return;
        const Event e = events_.front();
        events_.pop_front();
        lock.unlock();
        if (e.resync) resync();
        else if (e.kind == UsbBackend::Event::Arrived) arrived(e.info);
        else left(e.info);
        lock.lock();
        changed_.notify_all();
    }
}

void Bridge::arrived(const DeviceInfo& info) {
    const ProductProfile* profile = served_profile(options_.profiles, info);
    if (!profile) return;
    {
        std::lock_guard lock(mutex_);
        if (servers_.count(info.key)) return;
    }
    auto server = std::make_unique<DeviceServer>(backend_, info, *profile);
    if (!options_.record_dir.empty()) server->record_to(options_.record_dir, options_.usb_dir, options_.record_max);
    std::string error;
    if (!server->add_socket(class_socket(info), error)) {
        log_warning(info.key + " (" + id_text(info) + "): not served: " + error);
        return;
    }
    server->start();
    log_info("serving " + profile->name + " " + id_text(info) + " at " + info.key + " as " + class_socket(info).string());
    {
        std::lock_guard lock(mutex_);
        servers_[info.key] = std::move(server);
    }
    give_ezusb_name();
}

void Bridge::left(const DeviceInfo& info) {
    DeviceServer* server = nullptr;
    {
        std::lock_guard lock(mutex_);
        auto it = servers_.find(info.key);
        if (it == servers_.end()) return;
        server = it->second.get();
    }
    // Only this thread changes the servers: the entry stays valid while it stops,
    // and the device counts as served until its sockets are gone.
    server->stop();
    {
        std::lock_guard lock(mutex_);
        servers_.erase(info.key);
        if (ezusb_holder_ == info.key) ezusb_holder_.clear();
    }
    log_info(info.key + " (" + id_text(info) + ") has gone; its socket is removed");
    give_ezusb_name();
}

void Bridge::resync() {
    const auto present = backend_.devices();
    std::vector<DeviceInfo> gone;
    {
        std::lock_guard lock(mutex_);
        for (const auto& entry : servers_) {
            const DeviceInfo& served = entry.second->info();
            const bool there = std::any_of(present.begin(), present.end(), [&](const DeviceInfo& d) {
                return d.key == entry.first && d.vendor == served.vendor && d.product == served.product;
            });
            if (!there) gone.push_back(served);
        }
    }
    for (const auto& info : gone) left(info);
    for (const auto& info : present) arrived(info);
}

void Bridge::give_ezusb_name() {
    std::lock_guard lock(mutex_);
    if (!ezusb_holder_.empty()) return;
    for (auto& [key, server] : servers_) {
        if (!server->profile().ezusb_name) continue;
        std::string error;
        if (server->add_socket(options_.usb_dir / kEzusbName, error)) {
            ezusb_holder_ = key;
            log_info(key + " also answers as " + kEzusbName);
        } else {
            log_warning(key + ": cannot answer as " + kEzusbName + ": " + error);
        }
        return;
    }
}

std::vector<ServedDevice> Bridge::served_locked() const {
    std::vector<ServedDevice> out;
    for (const auto& [key, server] : servers_)
        out.push_back(ServedDevice{server->info(), server->profile().name, server->sockets()});
    return out;
}

std::vector<ServedDevice> Bridge::served() const {
    std::lock_guard lock(mutex_);
    return served_locked();
}

bool Bridge::wait_until(const std::function<bool(const std::vector<ServedDevice>&)>& predicate,
                        std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return predicate(served_locked()); });
}

}  // namespace tola::usbd
