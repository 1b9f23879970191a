// Faults of the boot loader and its flash, for tests of a firmware update:
//   refuse-command=CODE[:N]   the next N controller commands CODE are refused
//   refuse-erase=SECTOR[:N]   the next N erases of SECTOR are refused
//   refuse-write=ADDRESS[:N]  the next N writes that cover ADDRESS (flash or RAM)
//                             are refused; N = 0: every one
//   weak-flash=ADDRESS        a flash cell that loses bit 0 when programmed
//   lose-ack-write=ADDRESS[:N]  the next N writes that cover ADDRESS are carried
//                             out, but the host hears of a failure; N = 0: every one
//   lose-ack-command=CODE[:N] the next N controller commands CODE are carried out
//                             (command 10 restarts), but answered as failed
// N defaults to 1.  Over USB a refused command is a request the channel refuses
// (the library does not read a command's reply status); over the byte-stream
// links it is answered with a refusal.  A lost acknowledgement looks the same
// to the host: over USB the request that fetches the write's reply (or that
// repeats command 10's block) is refused, over the byte-stream links the
// answer is a refusal.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tola::sim {

struct BootLoaderFaults {
    std::map<std::uint32_t, int> refuse_command;
    std::map<std::uint32_t, int> refuse_erase;
    struct WriteRefusal {
        std::uint32_t address;
        int remaining;  // 0: always
    };
    std::vector<WriteRefusal> refuse_write;
    std::optional<std::uint32_t> weak_cell;
    std::vector<WriteRefusal> lose_write_ack;
    std::map<std::uint32_t, int> lose_command_ack;

    // True when this command (erase: value = sector) is to be refused now.
    bool take_command_refusal(std::uint32_t command, std::uint32_t value);
    bool take_write_refusal(std::uint32_t address, std::uint32_t length);
    bool take_lost_write_ack(std::uint32_t address, std::uint32_t length);
    bool take_lost_command_ack(std::uint32_t command);
    bool weak_cell_in(std::uint32_t address, std::uint32_t length) const;
};

// True when the text names one of the faults above.
bool is_boot_loader_fault(std::string_view text);
bool apply_boot_loader_fault(BootLoaderFaults& faults, std::string_view text, std::string* error);

}  // namespace tola::sim
