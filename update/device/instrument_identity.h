// Who an instrument is, as far as an update must prove it: a firmware update,
// a settings restore and a rollback take the identity of the instrument they
// start with and write nothing to an instrument that cannot show the same
// identity after a reconnect.  With several instruments on one bench, the
// first one that answers a search is not necessarily the one that restarted.
#pragma once

#include "tola_comm.h"

#include <QString>

#include <cstdint>

namespace ckupdate {

// What the host asks the library's search for (the record's opt-in limit): an
// empty field does not limit.
struct SearchLimit {
    QString serial;
    QString socket;  // the USB channel socket's name
    bool Active() const { return !serial.isEmpty() || !socket.isEmpty(); }
    bool operator==(const SearchLimit&) const = default;
};

struct InstrumentIdentity {
    QString serial;              // as the instrument reports it; "" when it reports none
    std::uint32_t iDevice = 0;   // the library's instrument kind
    std::uint32_t deviceCode = 0;
    std::uint32_t cpuType = 0;
    QString socket;              // the USB channel socket, when known
    QString btAddress;           // the Bluetooth address, over Bluetooth

    // The limit that finds this instrument again: its serial number and, over
    // USB, its socket.
    SearchLimit Limit() const { return SearchLimit{serial, socket}; }
    // Another connection shows the same instrument: the same serial number
    // (never an empty one), kind and processor type.  The socket is not compared:
    // the search limit already kept to it where it is known.
    bool SameAs(const InstrumentIdentity& other) const {
        return !serial.isEmpty() && serial == other.serial && iDevice == other.iDevice && cpuType == other.cpuType;
    }
    // "H51234" or "an instrument without a serial number", for texts.
    QString Name() const;
};

// The text of a record field (Windows-1252 as Latin-1, up to its first NUL).
QString RecordText(const TNAME& field);

}  // namespace ckupdate
