#include "sim/journal.h"

#include <algorithm>
#include <cstdio>

namespace tola::sim {

const char* to_string(EventKind kind) {
    switch (kind) {
        case EventKind::Request: return "request";
        case EventKind::MemoryRead: return "read";
        case EventKind::MemoryWrite: return "write";
        case EventKind::FlashWrite: return "flash-write";
        case EventKind::Erase: return "erase";
        case EventKind::ControllerCommand: return "controller-command";
        case EventKind::HostCommand: return "host-command";
        case EventKind::Restart: return "restart";
        case EventKind::BootMode: return "boot-mode";
        case EventKind::Refused: return "refused";
        case EventKind::Flag: return "flag";
        case EventKind::HostAction: return "host-action";
    }
    return "?";
}

const char* to_string(Flag flag) {
    switch (flag) {
        case Flag::None: return "none";
        case Flag::BootAreaWrite: return "write-to-boot-area";
        case Flag::UnerasedFlashWrite: return "write-to-unerased-flash";
        case Flag::HeaderBeforeImage: return "header-before-image";
    }
    return "?";
}

std::string format_entry(const JournalEntry& e) {
    char buf[160];
    switch (e.kind) {
        case EventKind::Request:
            if (e.address != 0)
                std::snprintf(buf, sizeof buf, "request code=0x%06X in=%u out=%u conn=%u", e.code, e.length, e.value,
                              e.address);
            else
                std::snprintf(buf, sizeof buf, "request code=0x%06X in=%u out=%u", e.code, e.length, e.value);
            break;
        case EventKind::Erase:
            std::snprintf(buf, sizeof buf, "erase sector=%u at=0x%08X size=0x%X", e.value, e.address, e.length);
            break;
        case EventKind::ControllerCommand:
            std::snprintf(buf, sizeof buf, "controller-command %u value=0x%08X", e.code, e.value);
            break;
        case EventKind::HostCommand:
            std::snprintf(buf, sizeof buf, "host-command 0x%08X arg=0x%08X", e.value, e.address);
            break;
        case EventKind::HostAction:
            std::snprintf(buf, sizeof buf, "host-action 0x%08X value=%u", e.code, e.value);
            break;
        case EventKind::BootMode: std::snprintf(buf, sizeof buf, "boot-mode 0x%02X", e.code); break;
        case EventKind::Flag:
            std::snprintf(buf, sizeof buf, "flag %s at=0x%08X len=%u", to_string(e.flag), e.address, e.length);
            break;
        case EventKind::Restart: std::snprintf(buf, sizeof buf, "restart"); break;
        default:
            std::snprintf(buf, sizeof buf, "%s at=0x%08X len=%u", to_string(e.kind), e.address, e.length);
            break;
    }
    std::string line = buf;
    if (!e.text.empty()) line += " " + e.text;
    return line;
}

void Journal::record(JournalEntry e) {
    {
        std::lock_guard lock(mutex_);
        entries_.push_back(std::move(e));
    }
    added_.notify_all();
}

bool Journal::wait_for(EventKind kind, std::size_t n, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return added_.wait_for(lock, timeout, [&] {
        return static_cast<std::size_t>(std::count_if(entries_.begin(), entries_.end(),
                                                      [kind](const JournalEntry& e) { return e.kind == kind; })) >= n;
    });
}

void Journal::flag(Flag f, std::uint32_t address, std::uint32_t length, std::string text) {
    record(JournalEntry{EventKind::Flag, f, 0, address, length, 0, std::move(text)});
}

void Journal::refused(std::string why, std::uint32_t code, std::uint32_t address, std::uint32_t length) {
    record(JournalEntry{EventKind::Refused, Flag::None, code, address, length, 0, std::move(why)});
}

std::vector<JournalEntry> Journal::entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
}

std::vector<JournalEntry> Journal::entries(EventKind kind) const {
    std::lock_guard lock(mutex_);
    std::vector<JournalEntry> out;
    std::copy_if(entries_.begin(), entries_.end(), std::back_inserter(out),
                 [kind](const JournalEntry& e) { return e.kind == kind; });
    return out;
}

std::size_t Journal::count(EventKind kind) const {
    std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(
        std::count_if(entries_.begin(), entries_.end(), [kind](const JournalEntry& e) { return e.kind == kind; }));
}

bool Journal::flagged(Flag f) const {
    std::lock_guard lock(mutex_);
    return std::any_of(entries_.begin(), entries_.end(),
                       [f](const JournalEntry& e) { return e.kind == EventKind::Flag && e.flag == f; });
}

void Journal::clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
}

void Journal::dump(std::ostream& out) const {
    for (const auto& e : entries()) out << format_entry(e) << '\n';
}

}  // namespace tola::sim
