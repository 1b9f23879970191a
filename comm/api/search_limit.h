// The one instrument a host asked the search for (TOLA_STATUS_PINNED): a serial
// number, a USB channel socket, or both.  Process-global like the rest of the
// search, used under the interface mutex.
#pragma once

#include "tola_comm.h"

#include <string>
#include <string_view>

namespace tola {

// A serial number is compared over at most this many characters: all that a
// name field holds besides its NUL.
inline constexpr std::size_t kLimitTextMax = sizeof(TNAME) - 1;

struct SearchLimit {
    char serial[sizeof(TNAME)] = {};  // empty: any serial number
    char socket[sizeof(TNAME)] = {};  // empty: any USB socket

    bool active() const { return serial[0] != '\0' || socket[0] != '\0'; }
    bool wants_serial() const { return serial[0] != '\0'; }
    bool wants_socket() const { return socket[0] != '\0'; }
    // The version block's serial number is the wanted one, byte for byte.
    bool serial_matches(const TNAME& version_serial) const;
    // The search may try the USB socket of this name.
    bool allows_socket(std::string_view name) const { return !wants_socket() || name == socket; }
};

SearchLimit& search_limit();

// The instruments that answered a limited search but were not the wanted one,
// for the text of its failure.
class Answering {
public:
    // version_serial null: the instrument's serial number could not be read.
    void add(const TNAME* version_serial, std::string_view where);
    bool empty() const { return list_.empty(); }
    // Writes the failure into the record: WRONG_DEVICE in tStatus and
    // "Instrument <wanted> not found; answering: <list>" in ssStatus.
    void report(PXM_COMM& c, const SearchLimit& limit) const;

private:
    std::string list_;
};

// Writes the failure of a serial number that more than one instrument answers
// with: WRONG_DEVICE and "Instrument <wanted> answers on <where>: ...".
void report_ambiguous(PXM_COMM& c, const SearchLimit& limit, std::string_view where);

}  // namespace tola
