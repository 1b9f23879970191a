// The list of known Bluetooth instruments: entries of the form name "#" address,
// kept sorted case-insensitively, each pair once (an entry equal to a present one
// ignoring case is not added).  Written to "BtKnownDevices.txt" in the program's
// main data folder, never read back.
#pragma once

#include "update/program_error.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace ckupdate {

inline constexpr const char* kKnownDevicesFileName = "BtKnownDevices.txt";
inline constexpr const char* kSelectableDevicePrefix = "TOLA";

// A stored setting of this many characters or fewer names no device.
inline constexpr int kMinStoredDeviceLength = 11;

// Writing the known-devices file failed; the text names the file and the reason.
CKUPDATE_ERROR_CLASS(EKnownDevicesFile);

struct KnownDevice {
    QString name;
    QString address;
};

// name "#" address
QString KnownDeviceEntry(const QString& name, const QString& address);

// Splits an entry at its first "#"; none when there is no "#" or the name is empty.
std::optional<KnownDevice> SplitKnownDeviceEntry(const QString& entry);

// Only instruments whose name begins with "TOLA" (case-sensitive) can be chosen.
bool IsSelectableDeviceName(const QString& name);

// The stored setting "BluetoothDevice" as the dialog takes it at creation.
struct StoredBluetoothDevice {
    QString entry;  // name "#" address (rewritten when stored address first)
    QString name;   // the name to select in the list
};
// None when the setting is 10 characters or fewer or holds no usable entry (no
// "#", or an empty name).  A setting that begins with "(" holds the address
// first: "(address)#name" becomes "name#(address)".
std::optional<StoredBluetoothDevice> ParseStoredBluetoothDevice(const QString& setting);

class TKnownDeviceList {
public:
    // Adds the entry at its sorted place; false when an entry equal to it
    // ignoring case is already present.
    bool Add(const QString& entry);
    // Removes the entry equal to it ignoring case; false when there is none.
    bool Remove(const QString& entry);
    void Clear() { entries_.clear(); }

    const QStringList& Entries() const { return entries_; }
    int Count() const { return static_cast<int>(entries_.size()); }

    // The rows the list view shows: the entries that split into a name and an address.
    QList<KnownDevice> Rows() const;

    // Replaces the file with the entries in Windows-1252, each followed by CR LF.
    // Throws EKnownDevicesFile when the file cannot be written.
    void SaveToFile(const QString& path) const;

private:
    QStringList entries_;
};

}  // namespace ckupdate
