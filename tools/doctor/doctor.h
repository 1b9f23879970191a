// Why is no instrument reached?  The checks of "tolactl doctor" and of the
// program's report window: each says ok or names the problem and its fix.
#pragma once

#include <string>
#include <vector>

namespace tola::doctor {

enum class Outcome { Ok, Problem, Note };

struct Check {
    std::string id;        // stable name, e.g. "usb-channel"
    Outcome outcome = Outcome::Ok;
    bool blocks = false;   // a problem that keeps every instrument away
    std::string text;      // what was found
    std::string fix;       // what to do about a problem ("" when nothing)
};

struct Inputs {
    // Any function of the loaded libTOLA_comm, to tell which file it came from
    // (nullptr: the library is not loaded).
    const void* library_symbol = nullptr;
    std::string library_version;  // "" when unknown
};

struct Report {
    std::vector<Check> checks;
    // Nothing blocks a connection: no blocking problem, and at least one way to
    // an instrument (USB channel, serial device, Bluetooth) is open.
    bool connection_possible() const;
};

Report run(const Inputs& inputs);

// "ok: ...", "problem: ... - fix: ...", "note: ...".
std::string format_line(const Check& check);
const char* outcome_name(Outcome outcome);

}  // namespace tola::doctor
