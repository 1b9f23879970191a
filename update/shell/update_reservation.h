// The main window's side of an update in the program: from the press of a
// start button until the update has ended, the connection belongs to the
// update dialog's engine alone.  Neither the connection thread nor a menu
// action nor the automation touches the instrument meanwhile.
#pragma once

#include "update/device/device_connection.h"

namespace ckupdate {

class UpdateReservation {
public:
    virtual ~UpdateReservation() = default;
    // On the user-interface thread, when a start button is pressed.  True when
    // the instrument connected now is the one the dialog shows (`shown`): the
    // connection is then reserved for the update until ReleaseAfterUpdate.
    // False when another instrument, or none, is connected now; `current` then
    // holds the identity of the connected one (empty when none).
    virtual bool ReserveForUpdate(const TDeviceInfo& shown, TDeviceInfo& current) = 0;
    // The update has ended (the worker thread has finished).
    virtual void ReleaseAfterUpdate() = 0;
};

// Whether two identities name the same instrument in the same state: an
// update may only start on the instrument (and release) the dialog shows.
inline bool SameInstrument(const TDeviceInfo& a, const TDeviceInfo& b) {
    return a.Serial == b.Serial && a.Device == b.Device && a.CpuType == b.CpuType &&
           a.FirmwareVersion == b.FirmwareVersion && a.BootLoader == b.BootLoader;
}

// An identity that names a connected instrument.
inline bool Connected(const TDeviceInfo& info) { return info.Device != 0 || !info.Serial.isEmpty() || info.BootLoader; }

}  // namespace ckupdate
