// Every instrument in reach, found without disturbing any of them: the list of
// "tolactl list" and the program's choice when several instruments are
// attached.  Each place (a USB channel socket, a serial port, a known Bluetooth
// address) is opened on its own with the library's search limit, identified by
// the reads of an ordinary connection and a device-type query, and closed
// again: no reset, no state change, nothing but queries sent to the instrument.  The
// place that a running update holds is not opened at all.
//
// The survey uses the connection it is given (OpenDev/CloseDev): run it where
// the caller may call the library, never while that connection is in use.
#pragma once

#include "update/device/device_connection.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <vector>

namespace ckupdate {

struct SurveyPlaces {
    QStringList usbSockets;   // channel socket names, e.g. "dev0", "Chrmtk0-0"
    std::vector<int> comPorts;  // 1..20
    QStringList btAddresses;  // Bluetooth addresses already known
    // A place a running update holds: listed as busy, never opened.  An
    // update whose socket is not known yet keeps the whole USB link away.
    QString busyUsbSocket;
    bool usbBusy = false;
    QString busyText;  // who holds it ("process 1234 (tolactl), instrument H51234 over usb dev1, since ...")
};

struct SurveyedInstrument {
    QString link;       // "usb", "serial", "bluetooth"
    QString where;      // "dev1", "com3", "00:11:22:33:44:55"
    QString kind;       // the device type's name ("Chromatik V"), "" when unknown
    QString product;    // the library's device name (snDevice)
    QString serial;     // "" when the instrument reports none
    QString firmware;   // firmware release (snVersion)
    QString layout;     // layout release (snInterface)
    std::uint32_t deviceCode = 0;
    bool bootLoader = false;  // only the boot loader answers
    bool busy = false;        // a running update holds it: not opened
    QString note;             // why a place is listed without an identity
};

// What a survey reports as it goes (each place before it is opened), so that a
// front end can say where it is; may be empty.
using SurveyProgress = std::function<void(const QString& link, const QString& where)>;

// Opens each place in turn and lists what answered.  Places where nothing
// answers are left out.  `stop` (may be null) ends the survey between places.
std::vector<SurveyedInstrument> SurveyInstruments(TDeviceConnection& connection, const SurveyPlaces& places,
                                                  const SurveyProgress& progress = {},
                                                  const std::atomic<bool>* stop = nullptr);

// The USB part alone: what the program offers to choose from.
std::vector<SurveyedInstrument> SurveyUsb(TDeviceConnection& connection, const QStringList& sockets);

// The channel sockets present now, sorted by name (dev2 before dev10).
QStringList UsbChannelSockets();

// Serial numbers that more than one surveyed instrument reports.
QStringList DuplicateSerials(const std::vector<SurveyedInstrument>& instruments);

}  // namespace ckupdate
