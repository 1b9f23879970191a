#include "tests/update/fake_library.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace ckupdate::testing {
namespace {

PXM_COMM* g_record = nullptr;

void record(const char* name, std::int64_t a = 0, std::int64_t b = 0) { fake().calls.push_back({name, a, b}); }

std::int32_t poll_initialize(PXM_COMM* c) {
    record("poll_initialize", c->iPort);
    g_record = c;
    auto& f = fake();
    std::int32_t r = 1;
    if (!f.open_results.empty()) {
        r = f.open_results.front();
        f.open_results.erase(f.open_results.begin());
    }
    if (r == 1) {
        c->tStatus = 0x11;
        // The release the application header in flash names, once one is written.
        const char* header = reinterpret_cast<const char*>(f.flash.data() + 0xC000);
        if (std::memcmp(header, "App Loaded", 10) == 0)
            std::snprintf(c->snVersion, sizeof c->snVersion, "%.16s", header + 16);
        else
            std::strcpy(c->snVersion, "511vLE");
        std::strcpy(c->snSerial_number, "H51234");
        if (c->iPort == 500) std::strcpy(c->snRS232, "Bluetooth");
    }
    return r;
}
std::int32_t close_() {
    record("close");
    if (g_record) {
        const std::uint32_t size = g_record->dSize;
        std::memset(g_record, 0, sizeof *g_record);
        g_record->dSize = size;
    }
    return 1;
}
std::int32_t send_command_ex(COMM_USB_HOST* h, std::int32_t size) {
    record("send_command_ex", h->qdWord[1], size);
    if (fake().take_failure("send_command_ex", h->qdWord[1])) return 0;
    if (h->qdWord[0] == 0x80000000u && h->qdWord[1] == 21) h->qdWord[3] = fake().device_type;
    return 1;
}
std::int32_t set_state(std::int32_t s) {
    record("set_state", s);
    return fake().take_failure("set_state", s) ? 0 : 1;
}
std::int32_t transfer_local(PXM_COMM*, void* buffer, std::int32_t id, std::int32_t size, std::int32_t direction,
                            char* message) {
    record("transfer", id, direction);
    auto& f = fake();
    if (f.take_failure("transfer", id * 10 + direction)) {
        std::snprintf(message, 501, "%s", f.transfer_message.c_str());
        return 0;
    }
    void* target = id == CKPSTRUCT_COMMVERSION ? static_cast<void*>(&f.version)
                   : id == CKPSTRUCT_SETTINGS  ? static_cast<void*>(&f.settings)
                                               : static_cast<void*>(&f.setup);
    if (direction == TOLA_DIRECTION_UPLOAD) std::memcpy(buffer, target, static_cast<std::size_t>(size));
    else std::memcpy(target, buffer, static_cast<std::size_t>(size));
    return 1;
}
std::int32_t renesas_command(std::int32_t command, std::int32_t value) {
    record("command", command, value);
    auto& f = fake();
    if (f.take_failure("command", command == 9 ? 900 + value : command)) return 0;
    if (command == 9) {
        std::uint32_t start = 0;
        static constexpr std::uint32_t sizes[] = {0x4000, 0x4000, 0x4000, 0x4000, 0x10000, 0x20000,
                                                  0x20000, 0x20000, 0x20000, 0x20000, 0x20000, 0x20000};
        for (int k = 0; k < value; ++k) start += sizes[k];
        std::fill_n(f.flash.begin() + start, sizes[value], std::uint8_t{0xFF});
    }
    if (command == 10 && f.on_restart) f.on_restart();
    return 1;
}
std::int32_t renesas_write(std::uint8_t* data, std::uint32_t address, std::int32_t length, std::int32_t pause) {
    record("write", address, length);
    auto& f = fake();
    if (pause != 10) return 0;
    if (f.never_write_address != 0 && address == f.never_write_address) return 0;
    if (f.take_failure("write", address)) return 0;
    std::memcpy(f.flash.data() + (address - 0x08000000u), data, static_cast<std::size_t>(length));
    return 1;
}
std::int32_t renesas_read(std::uint8_t* data, std::uint32_t address, std::int32_t length) {
    record("read", address, length);
    auto& f = fake();
    const std::uint32_t offset = address - 0x08000000u;
    std::memcpy(data, f.flash.data() + offset, static_cast<std::size_t>(length));
    if (f.corrupt_read_at >= offset && f.corrupt_read_at < offset + static_cast<std::uint32_t>(length))
        data[f.corrupt_read_at - offset] ^= 0x01;
    return 1;
}
std::int32_t set_details(std::int32_t d) {
    record("poll_set_details", d);
    return 1;
}
std::int32_t test_() {
    record("test");
    return fake().take_failure("test", 0) ? 0 : 1;
}

}  // namespace

bool FakeLibrary::take_failure(const std::string& name, std::int64_t key) {
    auto it = fail_next.find({name, key});
    if (it == fail_next.end() || it->second == 0) return false;
    if (it->second > 0) --it->second;  // negative: fails for ever
    return true;
}

std::vector<Call> FakeLibrary::calls_named(const std::string& name) const {
    std::vector<Call> out;
    std::copy_if(calls.begin(), calls.end(), std::back_inserter(out), [&](const Call& c) { return c.name == name; });
    return out;
}

FakeLibrary& fake() {
    static FakeLibrary f;
    return f;
}

CommFunctions FakeFunctions() {
    CommFunctions t;
    t.iTOLA_comm_poll_initialize = &poll_initialize;
    t.TOLA_comm_close = &close_;
    t.bTOLA_comm_test = &test_;
    t.bTOLA_comm_send_command_ex = &send_command_ex;
    t.bTOLA_comm_set_state = &set_state;
    t.bTOLA_Transfer_local_structure = &transfer_local;
    t.bTOLA_USB_Renesas_command = &renesas_command;
    t.bTOLA_USB_Renesas_write = &renesas_write;
    t.bTOLA_USB_Renesas_read = &renesas_read;
    t.bTOLA_comm_poll_set_details = &set_details;
    return t;
}

StepState RecordingView::last(UpdateStep step) const {
    for (auto it = steps.rbegin(); it != steps.rend(); ++it)
        if (it->step == step) return it->state;
    return StepState::Off;
}

QString RecordingView::lastText(UpdateStep step) const {
    for (auto it = steps.rbegin(); it != steps.rend(); ++it)
        if (it->step == step) return it->text;
    return {};
}

}  // namespace ckupdate::testing
