// The settings backup of an update, kept on disk: one file per serial number in
// the application data folder, written atomically before the instrument enters
// its boot loader and marked restored only once the settings are back on the
// instrument, stored and read back equal.  A failed or interrupted update leaves
// it pending, so a later run (or "tolactl settings restore") can finish the job
// even when the process that read the settings is gone.
#pragma once

#include "tola_comm.h"

#include <QString>
#include <QVector>

#include <optional>

namespace ckupdate {

inline constexpr int kStoredSettingsFormat = 1;

namespace backup_state {
inline constexpr const char* kPending = "pending";
inline constexpr const char* kRestored = "restored";
}  // namespace backup_state

// How far the update that made the backup came: what the instrument may hold.
namespace backup_phase {
inline constexpr const char* kRead = "read";                // nothing changed yet
inline constexpr const char* kProgramming = "programming";  // boot loader entered, application erased in part
inline constexpr const char* kProgrammed = "programmed";    // the whole new image with its header is written
inline constexpr const char* kRestarted = "restarted";      // the new firmware runs, settings not yet written
inline constexpr const char* kSaved = "saved";              // a plain backup, no update
}  // namespace backup_phase

struct StoredSettings {
    QString serial;
    QString device;       // the instrument's name
    QString port;         // "usb" or "bluetooth"
    QString time;         // ISO 8601 UTC, when the settings were read
    QString fromRelease;  // the firmware the settings came from
    QString toRelease;    // the firmware being written (empty for a plain backup)
    QString toName;       // its device name and date, for the identity block written back
    QString toDate;
    QString source;       // "catalog" or the firmware file
    QString state = backup_state::kPending;
    QString phase = backup_phase::kRead;
    QString restoredTime;
    COMM_VERSION version{};
    CKNG_SETTINGS settings{};
    CKII_SETUP setup{};

    QString path;  // the file it was read from or written to

    bool Pending() const { return state == QLatin1String(backup_state::kPending); }
};

// <application data folder>/settings-backups, created when missing; "" when it cannot be.
QString DefaultSettingsBackupFolder();
// The file of a serial number in a folder (characters unfit for a file name become '_').
QString StoredSettingsPath(const QString& folder, const QString& serial);

// Writes the backup atomically (a temporary file renamed over the old one, synced
// to disk); sets stored.path.  False with the reason when it cannot.
bool WriteStoredSettings(const QString& path, StoredSettings& stored, QString* error);
// Reads a backup and checks its checksum; nothing when the file is missing,
// unreadable, of another format, or its checksum does not match (reason in *error).
std::optional<StoredSettings> ReadStoredSettings(const QString& path, QString* error = nullptr);
// The pending backups of a folder, oldest first.
QVector<StoredSettings> PendingSettings(const QString& folder);
// The pending backup of a serial number, if there is one.
std::optional<StoredSettings> PendingSettingsFor(const QString& folder, const QString& serial);

}  // namespace ckupdate
