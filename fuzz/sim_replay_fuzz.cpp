// Fuzz target: arbitrary text read as a record (comm/platform/record_format.h)
// and built into a replay's steps, which are then matched against a host that
// sends what was recorded, and then a byte or a request more.  Nothing may
// crash; what a record opens stays a name inside the replay's folder.  No
// socket or terminal is made: chromatik-sim --replay makes those only from a
// script this has accepted.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "sim/replay_script.h"

namespace {

using namespace tola::sim::replay;

void check_target(const Script& s) {
    if (s.link == Link::Serial) return;
    // The replay serves at <folder>/<target>: it must stay below the folder.
    const std::filesystem::path folder = "/replay-folder";
    const auto where = (folder / s.target).lexically_normal();
    const auto relative = where.lexically_relative(folder);
    const std::string name = relative.filename().string();
    if (s.target.empty() || s.target.front() == '/' || relative.empty() || *relative.begin() == ".." ||
        name.empty() || name.front() == '.')
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const auto script = load_script(text, &error);
    if (!script) {
        if (error.empty()) __builtin_trap();
        return 0;
    }
    check_target(*script);

    UsbMatcher usb(script->exchanges);
    for (const auto& x : script->exchanges)
        if (!usb.answer(x.request)) break;
    (void)usb.answer(UsbRequest{0x222402, 4, {1, 2}, {}});
    (void)usb.pending();

    StreamMatcher stream(script->chunks);
    std::vector<std::uint8_t> to_host;
    bool same = stream.take({}, to_host);
    for (const auto& c : script->chunks)
        if (same && c.from_host) same = stream.take(c.bytes, to_host);
    const std::uint8_t stray[] = {0x55};
    (void)stream.take(stray, to_host);
    (void)stream.pending();
    return 0;
}
