#include "sim/instrument.h"

#include <algorithm>
#include <stdexcept>

#include "sim/boot_mode_face.h"
#include "sim/controller_face.h"
#include "sim/descriptor.h"
#include "sim/ezusb_face.h"
#include "sim/instrument_store.h"
#include "sim/link_faces.h"

namespace tola::sim {

Instrument::Instrument(InstrumentConfig config) : config_(std::move(config)) {
    if (const std::string why = validate(config_); !why.empty()) throw std::invalid_argument(why);
    core_ = std::make_unique<DeviceCore>(config_.core_config(), journal_);
    if (!config_.persist.empty()) {
        // An instrument kept by an earlier run comes back with its flash (and so its
        // firmware) and what it had stored.
        store_ = std::make_unique<InstrumentStore>(config_.persist);
        if (auto earlier = store_->load(core_->memory())) core_->power_on(std::move(*earlier));
        store_->save_all(core_->memory(), core_->permanent());
        core_->set_persist_hooks(PersistHooks{
            [this](std::uint32_t address, std::uint32_t length) {
                store_->save_flash(core_->memory(), address, length);
            },
            [this] { store_->save_permanent(core_->permanent()); }});
    }
    for (const auto& fault : config_.faults) {
        std::string why;
        if (is_boot_loader_fault(fault)) {
            if (!apply_boot_loader_fault(core_->boot_faults(), fault, &why)) throw std::invalid_argument(why);
            continue;
        }
        if (apply_link_fault(link_faults_, fault, &why)) continue;
        if (!why.empty() || !apply_fault(faults_, fault, &why)) throw std::invalid_argument(why);
    }
    if (config_.kind == 2) {
        link_face_ = std::make_unique<ClassicLinkFace>(*core_);
    } else if (config_.byte_stream_link()) {
        const auto identity = static_cast<std::uint8_t>(config_.kind % 2 == 0 ? 230 : 231);
        link_face_ = std::make_unique<MemoryLinkFace>(*core_, config_.bluetooth_link(), identity);
    }
    if (link_face_) peer_ = std::make_unique<PacketPeer>(*link_face_, link_faults_);
    switch (core_->config().kind) {
        case 1: face_ = std::make_unique<EzusbFace>(*core_); break;
        case 3: face_ = std::make_unique<BootModeFace>(*core_); break;
        default: face_ = std::make_unique<ControllerFace>(*core_); break;
    }
}

Instrument::~Instrument() = default;

std::filesystem::path Instrument::socket_path() const {
    std::lock_guard lock(mutex_);
    return socket_path_;
}

std::filesystem::path Instrument::serial_path() const {
    std::lock_guard lock(mutex_);
    return serial_path_;
}

std::filesystem::path Instrument::bt_socket_path() const {
    std::lock_guard lock(mutex_);
    return bt_socket_path_;
}

bool Instrument::inject(std::string_view fault, std::string* error) {
    bool ok = false;
    {
        std::lock_guard lock(mutex_);
        std::string why;
        if (is_boot_loader_fault(fault)) {
            ok = apply_boot_loader_fault(core_->boot_faults(), fault, error);
        } else if (apply_link_fault(link_faults_, fault, &why)) {
            ok = true;
        } else if (!why.empty()) {
            if (error) *error = why;
        } else {
            ok = apply_fault(faults_, fault, error);
            if (ok && fault == "clear") {
                link_faults_ = LinkFaults{};
                core_->boot_faults() = BootLoaderFaults{};
            }
            if (ok && (fault == "clear" || fault == "replug")) line_dead_ = false;
        }
    }
    wake();
    return ok;
}

void Instrument::refuse_next(std::uint32_t control_code, int count) {
    std::lock_guard lock(mutex_);
    faults_.refuse[control_code] += count;
}

void Instrument::truncate_next_reply(std::size_t keep_bytes) {
    std::lock_guard lock(mutex_);
    faults_.truncate_next = keep_bytes;
}

void Instrument::corrupt_next_reply(std::size_t byte_index) {
    std::lock_guard lock(mutex_);
    faults_.corrupt_next = byte_index;
}

void Instrument::answer_status_with(std::uint8_t status_byte, int count) {
    std::lock_guard lock(mutex_);
    for (int i = 0; i < count; ++i) faults_.status_override.push_back(status_byte);
}

void Instrument::answer_erase_with(std::uint8_t status_byte1) {
    std::lock_guard lock(mutex_);
    faults_.erase_status = status_byte1;
}

void Instrument::answer_descriptor_with(std::size_t length) {
    std::lock_guard lock(mutex_);
    faults_.descriptor_length = std::min<std::size_t>(length, 18);
}

void Instrument::stay_silent(int requests, std::chrono::milliseconds close_after) {
    std::lock_guard lock(mutex_);
    faults_.silent_requests += requests;
    faults_.silent_close_after = close_after;
}

void Instrument::silence_after_next_restart(std::chrono::milliseconds silence) {
    std::lock_guard lock(mutex_);
    faults_.restart_silence = silence;
}

void Instrument::unplug() {
    {
        std::lock_guard lock(mutex_);
        faults_.unplugged = true;
    }
    wake();
}

void Instrument::replug() {
    {
        std::lock_guard lock(mutex_);
        faults_.unplugged = false;
        line_dead_ = false;
    }
    wake();
}

void Instrument::clear_faults() {
    {
        std::lock_guard lock(mutex_);
        faults_ = FaultPlan{};
        link_faults_ = LinkFaults{};
        core_->boot_faults() = BootLoaderFaults{};
        line_dead_ = false;
    }
    wake();
}

void Instrument::press_trigger() {
    {
        std::lock_guard lock(mutex_);
        core_->press_trigger(Clock::now());
    }
    wake();
}

bool Instrument::send_again() {
    bool sent = false;
    {
        std::lock_guard lock(mutex_);
        sent = core_->echo_current();
    }
    wake();
    return sent;
}

bool Instrument::send_message(std::uint8_t code, std::vector<std::uint8_t> data) {
    {
        std::lock_guard lock(mutex_);
        auto* classic = dynamic_cast<ClassicLinkFace*>(link_face_.get());
        if (classic == nullptr) return false;
        classic->queue_message(OutgoingBlock{code, std::move(data)});
    }
    wake();
    return true;
}

std::optional<std::vector<std::uint8_t>> Instrument::peek(std::uint32_t address, std::uint32_t length) const {
    std::lock_guard lock(mutex_);
    return core_->memory().read(address, length);
}

bool Instrument::poke(std::uint32_t address, std::span<const std::uint8_t> data) {
    std::lock_guard lock(mutex_);
    return core_->memory().load(address, data);
}

StructureLayout Instrument::layout() const {
    std::lock_guard lock(mutex_);
    return core_->layout();
}

std::string Instrument::firmware() const {
    std::lock_guard lock(mutex_);
    return core_->firmware();
}

bool Instrument::in_update_mode() const {
    std::lock_guard lock(mutex_);
    return core_->update_mode();
}

bool Instrument::present() const {
    std::lock_guard lock(mutex_);
    return present_;
}

bool Instrument::wait_until_present(bool want, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return presence_changed_.wait_for(lock, timeout, [&] { return present_ == want; });
}

usbchannel::Reply Instrument::descriptor_reply(const usbchannel::Request& request) {
    // The general-purpose EZ-USB driver knows only its own descriptor request.
    if (request.code == usbchannel::kReadDescriptor && socket_path_.filename() == "ezusb-0") return refused_reply();
    const auto d = device_descriptor(config_);
    std::vector<std::uint8_t> out(d.begin(), d.end());
    if (faults_.descriptor_length) out.resize(*faults_.descriptor_length);
    return data_reply(std::move(out), request.output_capacity);
}

Instrument::Outcome Instrument::handle(const usbchannel::Request& request, Clock::time_point now,
                                       std::uint32_t connection) {
    std::lock_guard lock(mutex_);
    journal_.record(JournalEntry{EventKind::Request, Flag::None, request.code, connection,
                                 static_cast<std::uint32_t>(request.input.size()), request.output_capacity, {}});
    if (faults_.take_silence()) return Outcome{false, {}, {}};
    // A request that finds an erase under way is served once the erase is done.
    const Clock::duration delay = busy_until_ > now ? busy_until_ - now : Clock::duration{};
    if (faults_.take_refusal(request.code)) return Outcome{true, refused_reply(), delay};

    usbchannel::Reply reply;
    if (request.code == usbchannel::kReadDescriptor || request.code == usbchannel::kReadDescriptorEzusb)
        reply = descriptor_reply(request);
    else
        reply = face_->handle(request, faults_, now);

    if (const int erases = core_->take_erases(); erases > 0) busy_until_ = now + delay + erases * config_.erase_time;

    if (core_->take_restart_request()) {
        core_->restart();
        const auto silence = faults_.restart_silence.value_or(config_.restart_silence);
        faults_.restart_silence.reset();
        silent_until_ = now + silence;
        ++generation_;
        face_->reset();
    }

    if (!reply.output.empty()) {
        if (faults_.truncate_next) {
            reply.output.resize(std::min(reply.output.size(), *faults_.truncate_next));
            reply.bytes_returned = static_cast<std::uint32_t>(reply.output.size());
            faults_.truncate_next.reset();
        }
        if (faults_.corrupt_next) {
            const std::size_t i = std::min(*faults_.corrupt_next, reply.output.size() - 1);
            reply.output[i] = static_cast<std::uint8_t>(~reply.output[i]);
            faults_.corrupt_next.reset();
        }
    }
    return Outcome{true, std::move(reply), delay};
}

void Instrument::connection_opened() {
    std::lock_guard lock(mutex_);
    face_->reset();
}

std::optional<Clock::time_point> Instrument::next_deadline() const {
    std::lock_guard lock(mutex_);
    auto d = core_->next_deadline();
    if (silent_until_ && (!d || *silent_until_ < *d)) d = silent_until_;
    return d;
}

void Instrument::tick(Clock::time_point now) {
    std::lock_guard lock(mutex_);
    core_->tick(now);
    if (silent_until_ && now >= *silent_until_) silent_until_.reset();
}

bool Instrument::wants_socket(Clock::time_point now) const {
    std::lock_guard lock(mutex_);
    return !faults_.unplugged && !(silent_until_ && now < *silent_until_);
}

std::uint64_t Instrument::generation() const {
    std::lock_guard lock(mutex_);
    return generation_;
}

std::chrono::milliseconds Instrument::silent_close_after() const {
    std::lock_guard lock(mutex_);
    return faults_.silent_close_after;
}

void Instrument::set_present(bool p) {
    {
        std::lock_guard lock(mutex_);
        present_ = p;
    }
    presence_changed_.notify_all();
}

void Instrument::set_socket_path(std::filesystem::path path) {
    std::lock_guard lock(mutex_);
    socket_path_ = std::move(path);
}

void Instrument::set_waker(std::function<void()> wake) {
    std::lock_guard lock(mutex_);
    wake_ = std::move(wake);
}

bool Instrument::link_deaf(Clock::time_point now) const {
    return line_dead_ || faults_.unplugged || (silent_until_ && now < *silent_until_);
}

void Instrument::after_link_exchange(Clock::time_point now, LinkOutput& out) {
    out.bytes = peer_->take_output();
    if (peer_->take_drop()) {
        out.drop = true;
        if (config_.serial_link()) line_dead_ = true;
    }
    if (core_->take_restart_request()) {
        // The acknowledgement is already out; then nothing until the restart is over.
        core_->restart();
        const auto silence = faults_.restart_silence.value_or(config_.restart_silence);
        faults_.restart_silence.reset();
        silent_until_ = now + silence;
        ++generation_;
        peer_->reset();
    }
}

Instrument::LinkOutput Instrument::link_receive(std::span<const std::uint8_t> bytes, Clock::time_point now) {
    std::lock_guard lock(mutex_);
    LinkOutput out;
    if (!peer_ || link_deaf(now)) return out;
    peer_->receive(bytes, now);
    after_link_exchange(now, out);
    return out;
}

Instrument::LinkOutput Instrument::link_tick(Clock::time_point now) {
    std::lock_guard lock(mutex_);
    LinkOutput out;
    if (!peer_ || link_deaf(now)) return out;
    peer_->tick(now);
    after_link_exchange(now, out);
    return out;
}

std::optional<Clock::time_point> Instrument::link_deadline() const {
    std::lock_guard lock(mutex_);
    if (!peer_) return std::nullopt;
    return peer_->deadline();
}

void Instrument::link_opened() {
    std::lock_guard lock(mutex_);
    if (peer_) peer_->reset();
}

void Instrument::set_serial_path(std::filesystem::path path) {
    std::lock_guard lock(mutex_);
    serial_path_ = std::move(path);
}

void Instrument::set_bt_socket_path(std::filesystem::path path) {
    std::lock_guard lock(mutex_);
    bt_socket_path_ = std::move(path);
}

void Instrument::wake() const {
    std::function<void()> w;
    {
        std::lock_guard lock(mutex_);
        w = wake_;
    }
    if (w) w();
}

}  // namespace tola::sim
