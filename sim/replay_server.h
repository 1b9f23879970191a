// chromatik-sim --replay: serves a record as an instrument on the link it was
// recorded on (USB: a channel socket; serial: a pseudo-terminal; Bluetooth: a
// registration the stand-in client finds) until SIGINT or SIGTERM, or until the
// host sends something the record does not hold.
#pragma once

#include <filesystem>
#include <iosfwd>

namespace tola::sim {

struct ReplayOptions {
    std::filesystem::path file;
    std::filesystem::path usb_dir;
    std::filesystem::path bt_dir;
};

// 0 when every recorded request came as recorded; 1 on a difference (reported
// on err: expected, got, line and event index) or a record that was not used
// up; 2 for a file that cannot be replayed.  What is served is announced on out
// ("replay usb socket PATH", "replay serial-port PATH", "replay bluetooth
// ADDRESS in DIR"), then "ready".
int run_replay(const ReplayOptions& options, std::ostream& out, std::ostream& err);

}  // namespace tola::sim
