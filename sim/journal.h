// What an instrument saw and did, in order: every request on its USB face, every
// memory access, erase, flash write, controller and host command, restart, and the
// flags raised by unsafe flash programming.  Written by the serving thread, read by
// tests and by the program's dump.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

namespace tola::sim {

enum class EventKind {
    Request,            // code = control code, length = input bytes, value = output capacity,
                        // address = number of the channel connection (0: not known)
    MemoryRead,         // address, length
    MemoryWrite,        // address, length (RAM and peripheral windows)
    FlashWrite,         // address, length
    Erase,              // value = sector index, address = sector start, length = sector size
    ControllerCommand,  // code = command, value = its value
    HostCommand,        // value = word 0, address = word 1
    Restart,            // text = firmware running afterwards
    BootMode,           // code = command byte of a boot-mode step
    Refused,            // text says why; code/address/length describe the refused operation
    Flag,               // flag says which, address and length the offending access
    HostAction,         // what a host command made the instrument do: code = command word,
                        // value = its argument, text says what
};

enum class Flag { None, BootAreaWrite, UnerasedFlashWrite, HeaderBeforeImage };

struct JournalEntry {
    EventKind kind = EventKind::Request;
    Flag flag = Flag::None;
    std::uint32_t code = 0;
    std::uint32_t address = 0;
    std::uint32_t length = 0;
    std::uint32_t value = 0;
    std::string text;
};

const char* to_string(EventKind kind);
const char* to_string(Flag flag);
std::string format_entry(const JournalEntry& e);

class Journal {
public:
    void record(JournalEntry e);
    void flag(Flag f, std::uint32_t address, std::uint32_t length, std::string text = {});
    void refused(std::string why, std::uint32_t code, std::uint32_t address, std::uint32_t length);

    std::vector<JournalEntry> entries() const;
    std::vector<JournalEntry> entries(EventKind kind) const;
    std::size_t count(EventKind kind) const;
    bool flagged(Flag f) const;
    // Blocks until the journal holds at least n entries of the kind, or the timeout ends.
    bool wait_for(EventKind kind, std::size_t n, std::chrono::milliseconds timeout) const;
    void clear();
    void dump(std::ostream& out) const;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable added_;
    std::vector<JournalEntry> entries_;
};

}  // namespace tola::sim
