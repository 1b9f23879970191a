#include "tests/support/sim_usb_backend.h"

#include <array>
#include <chrono>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include "sim/instrument_config.h"
#include "sim/platform/channel_client.h"
#include "sim/simulator.h"
#include "sim/usb_interface.h"

namespace tola::testing {
namespace {

namespace ch = tola::usbchannel;
using usbd::TransferResult;
using usbd::TransferStatus;

constexpr std::uint16_t kTolaVendor = 0xE1A7, kClassicProduct = 0x5061;
const std::array<std::string, 2> kDriverNames{"Chrmtk0-0", "ezusb-0"};

std::optional<std::array<std::uint8_t, 18>> read_descriptor(sim::ChannelClient& client, std::chrono::milliseconds timeout) {
    for (const std::uint32_t code : {ch::kReadDescriptor, ch::kReadDescriptorEzusb}) {
        const auto reply = client.call(ch::Request{code, {}, 18, {}}, timeout);
        if (!reply) return std::nullopt;
        if (reply->success && reply->output.size() == 18) {
            std::array<std::uint8_t, 18> d{};
            std::copy(reply->output.begin(), reply->output.end(), d.begin());
            return d;
        }
    }
    return std::nullopt;
}

class SimUsbDevice final : public usbd::UsbDevice {
public:
    SimUsbDevice(std::filesystem::path socket, bool classic) : socket_(std::move(socket)), classic_(classic) {}

    TransferResult read_device_descriptor(std::span<std::uint8_t, 18> out, int timeout_ms) override {
        if (!connected()) return lost();
        const auto d = read_descriptor(*client_, std::chrono::milliseconds(timeout_ms));
        if (!d) return lost();
        std::copy(d->begin(), d->end(), out.begin());
        return TransferResult{TransferStatus::Ok, 18};
    }

    std::vector<usbd::Endpoint> endpoints() const override {
        std::vector<usbd::Endpoint> out;
        for (const auto e : sim::usb_interface::endpoints(classic_)) out.push_back(usbd::Endpoint{e, true});
        return out;
    }

    TransferResult bulk_out(std::uint8_t endpoint, std::span<const std::uint8_t> data, int timeout_ms) override {
        return transfer(endpoint, data, {}, timeout_ms);
    }

    TransferResult bulk_in(std::uint8_t endpoint, std::span<std::uint8_t> buffer, int timeout_ms) override {
        return transfer(endpoint, {}, buffer, timeout_ms);
    }

private:
    bool connected() {
        if (!client_) client_ = sim::ChannelClient::connect(socket_);
        return client_.has_value();
    }

    // The connection is out of step after a failed call: the next transfer starts a new one.
    TransferResult lost() {
        client_.reset();
        std::error_code ec;
        const bool present = std::filesystem::exists(socket_, ec);
        return TransferResult{present ? TransferStatus::Timeout : TransferStatus::Gone, 0};
    }

    TransferResult transfer(std::uint8_t endpoint, std::span<const std::uint8_t> out, std::span<std::uint8_t> in,
                            int timeout_ms) {
        const auto request = sim::usb_interface::request_for(classic_, endpoint, out, static_cast<std::uint32_t>(in.size()));
        if (!request) return TransferResult{TransferStatus::Failed, 0};
        if (!connected()) return lost();
        const auto reply = client_->call(*request, std::chrono::milliseconds(timeout_ms));
        if (!reply) return lost();
        if (!reply->success) return TransferResult{TransferStatus::Stall, 0};
        std::copy(reply->output.begin(), reply->output.end(), in.begin());
        return TransferResult{TransferStatus::Ok, reply->bytes_returned};
    }

    std::filesystem::path socket_;
    bool classic_;
    std::optional<sim::ChannelClient> client_;
};

// A device in the same process: its transfers are the instrument's requests.
class InstrumentDevice final : public usbd::UsbDevice {
public:
    InstrumentDevice(sim::Instrument& instrument, bool classic)
        : instrument_(instrument), classic_(classic), generation_(instrument.generation()) {
        instrument_.connection_opened();
    }

    TransferResult read_device_descriptor(std::span<std::uint8_t, 18> out, int timeout_ms) override {
        for (const std::uint32_t code : {ch::kReadDescriptor, ch::kReadDescriptorEzusb}) {
            const auto r = call(ch::Request{code, {}, 18, {}}, timeout_ms);
            if (r.status != TransferStatus::Stall) {
                if (r.ok()) std::copy(reply_.output.begin(), reply_.output.end(), out.begin());
                return r;
            }
        }
        return TransferResult{TransferStatus::Stall, 0};
    }

    std::vector<usbd::Endpoint> endpoints() const override {
        std::vector<usbd::Endpoint> out;
        for (const auto e : sim::usb_interface::endpoints(classic_)) out.push_back(usbd::Endpoint{e, true});
        return out;
    }

    TransferResult bulk_out(std::uint8_t endpoint, std::span<const std::uint8_t> data, int timeout_ms) override {
        const auto request = sim::usb_interface::request_for(classic_, endpoint, data, 0);
        if (!request) return TransferResult{TransferStatus::Failed, 0};
        return call(*request, timeout_ms);
    }

    TransferResult bulk_in(std::uint8_t endpoint, std::span<std::uint8_t> buffer, int timeout_ms) override {
        const auto request = sim::usb_interface::request_for(classic_, endpoint, {}, static_cast<std::uint32_t>(buffer.size()));
        if (!request) return TransferResult{TransferStatus::Failed, 0};
        const auto r = call(*request, timeout_ms);
        if (r.ok()) std::copy(reply_.output.begin(), reply_.output.end(), buffer.begin());
        return r;
    }

private:
    TransferResult call(const ch::Request& request, int timeout_ms) {
        // A restart re-enumerates the device: the old handle is gone.
        if (!instrument_.present() || instrument_.generation() != generation_) return TransferResult{TransferStatus::Gone, 0};
        auto outcome = instrument_.handle(request, sim::Clock::now());
        if (!outcome.answer) {
            // The transfer never completes: it ends at its time-out, or when the device leaves.
            if (instrument_.wait_until_present(false, std::chrono::milliseconds(timeout_ms)))
                return TransferResult{TransferStatus::Gone, 0};
            return TransferResult{TransferStatus::Timeout, 0};
        }
        reply_ = std::move(outcome.reply);
        if (!reply_.success) return TransferResult{TransferStatus::Stall, 0};
        return TransferResult{TransferStatus::Ok, reply_.bytes_returned};
    }

    sim::Instrument& instrument_;
    bool classic_;
    std::uint64_t generation_;
    ch::Reply reply_;
};

}  // namespace

SimUsbBackend::SimUsbBackend(std::filesystem::path bus_dir) : bus_dir_(std::move(bus_dir)) {}

SimUsbBackend::SimUsbBackend(sim::Simulator& simulator) : bus_dir_(simulator.usb_dir()), simulator_(&simulator) {}

SimUsbBackend::~SimUsbBackend() { stop_events(); }

std::string SimUsbBackend::key_of(const std::filesystem::path& socket) const {
    return "sim-" + socket.filename().string();
}

std::filesystem::path SimUsbBackend::socket_of(const std::string& key) const {
    const std::string name = key.substr(4);
    for (const auto& driver : kDriverNames)
        if (name == driver) return bus_dir_ / name;
    return bus_dir_ / sim::kInterfaceClassFolder / name;
}

std::optional<usbd::DeviceInfo> SimUsbBackend::probe(const std::filesystem::path& socket) {
    auto client = sim::ChannelClient::connect(socket);
    if (!client) return std::nullopt;
    const auto d = read_descriptor(*client, std::chrono::seconds(3));
    if (!d) return std::nullopt;
    auto u16 = [&](std::size_t i) { return static_cast<std::uint16_t>((*d)[i] | (*d)[i + 1] << 8); };
    usbd::DeviceInfo info{key_of(socket), u16(8), u16(10), u16(12)};
    std::lock_guard lock(mutex_);
    known_[info.key] = info;
    return info;
}

std::vector<usbd::DeviceInfo> SimUsbBackend::devices() {
    std::vector<std::filesystem::path> sockets;
    std::error_code ec;
    for (const auto& folder : {bus_dir_ / sim::kInterfaceClassFolder, bus_dir_})
        for (const auto& e : std::filesystem::directory_iterator(folder, ec))
            if (e.is_socket(ec) && e.path().filename().string().front() != '.') sockets.push_back(e.path());
    std::vector<usbd::DeviceInfo> out;
    for (const auto& s : sockets)
        if (auto info = probe(s)) out.push_back(*info);
    return out;
}

std::unique_ptr<usbd::UsbDevice> SimUsbBackend::open(const usbd::DeviceInfo& device, const usbd::OpenOptions& options,
                                                     std::string& error) {
    const auto socket = socket_of(device.key);
    if (options.interface_number != 0 || options.alt_setting != 0) {
        error = "the device has no such interface or setting";
        return nullptr;
    }
    std::error_code ec;
    if (!std::filesystem::exists(socket, ec)) {
        error = "the device has left the bus";
        return nullptr;
    }
    const bool classic = device.vendor == kTolaVendor && device.product == kClassicProduct;
    if (simulator_) {
        for (std::size_t i = 0; i < simulator_->size(); ++i)
            if (simulator_->instrument(i).socket_path() == socket)
                return std::make_unique<InstrumentDevice>(simulator_->instrument(i), classic);
    }
    return std::make_unique<SimUsbDevice>(socket, classic);
}

bool SimUsbBackend::start_events(HotplugHandler handler, std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(bus_dir_ / sim::kInterfaceClassFolder, ec);
    inotify_ = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    stop_event_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    const auto mask = IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM;
    if (inotify_ >= 0) {
        ::inotify_add_watch(inotify_, bus_dir_.c_str(), mask);
        class_watch_ = ::inotify_add_watch(inotify_, (bus_dir_ / sim::kInterfaceClassFolder).c_str(), mask);
    }
    if (inotify_ < 0 || stop_event_ < 0 || class_watch_ < 0) {
        error = "cannot watch " + bus_dir_.string();
        stop_events();
        return false;
    }
    handler_ = std::move(handler);
    thread_ = std::thread([this] { watch(); });
    return true;
}

void SimUsbBackend::stop_events() {
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto n = ::write(stop_event_, &one, sizeof one);
        thread_.join();
    }
    if (inotify_ >= 0) ::close(inotify_);
    if (stop_event_ >= 0) ::close(stop_event_);
    inotify_ = stop_event_ = -1;
}

void SimUsbBackend::watch() {
    alignas(inotify_event) std::array<char, 4096> buffer{};
    const auto class_folder = bus_dir_ / sim::kInterfaceClassFolder;
    for (;;) {
        std::array<pollfd, 2> fds{pollfd{inotify_, POLLIN, 0}, pollfd{stop_event_, POLLIN, 0}};
        if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) return;
        if (fds[1].revents) return;
        const ssize_t n = ::read(inotify_, buffer.data(), buffer.size());
        for (ssize_t at = 0; n > 0 && at < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer.data() + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            if (e->len == 0 || e->name[0] == '.') continue;
            const auto socket = (e->wd == class_watch_ ? class_folder : bus_dir_) / e->name;
            if (e->wd != class_watch_ && socket == class_folder) continue;
            if (e->mask & (IN_CREATE | IN_MOVED_TO)) {
                if (auto info = probe(socket)) handler_(Event::Arrived, *info);
            } else {
                std::optional<usbd::DeviceInfo> info;
                {
                    std::lock_guard lock(mutex_);
                    if (auto it = known_.find(key_of(socket)); it != known_.end()) info = it->second;
                }
                if (info) handler_(Event::Left, *info);
            }
        }
    }
}

}  // namespace tola::testing
