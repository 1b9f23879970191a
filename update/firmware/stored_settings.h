// The settings backup of an update, kept on disk: one file per serial number in
// the application data folder, written atomically before the instrument enters
// its boot loader and marked restored only once the settings are back on the
// instrument, stored and read back equal.  A failed or interrupted update leaves
// it pending, so a later run (or "tolactl settings restore") can finish the job
// even when the process that read the settings is gone.
//
// A pending file is never overwritten: one that fails its check is set aside
// beside itself ("<file>.damaged-<time>") and reported, and one that is given up
// on purpose (discarded, or stale because the instrument's settings changed
// since) is moved into "retired/" with the time it was retired.
#pragma once

#include "tola_comm.h"

#include <QDateTime>
#include <QString>
#include <QVector>

#include <cstdint>
#include <optional>

namespace ckupdate {

inline constexpr int kStoredSettingsFormat = 1;

namespace backup_state {
inline constexpr const char* kPending = "pending";
inline constexpr const char* kRestored = "restored";
}  // namespace backup_state

// How far the update that made the backup came: what the instrument may hold.
namespace backup_phase {
inline constexpr const char* kRead = "read";                // nothing erased yet: the old firmware still runs
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
    // Who the instrument is beyond its serial number, so that the backup is
    // never written to another model: its device type code and processor type,
    // and where it was attached (USB channel socket, Bluetooth address).
    std::uint32_t deviceCode = 0;
    std::uint32_t cpuType = 0;
    QString socket;
    QString btAddress;
    bool serviceMode = false;  // the update ran in the service mode
    COMM_VERSION version{};
    CKNG_SETTINGS settings{};
    CKII_SETUP setup{};

    QString path;  // the file it was read from or written to

    bool Pending() const { return state == QLatin1String(backup_state::kPending); }
    // The update that made it erased (part of) the application area.
    bool Erased() const {
        return phase == QLatin1String(backup_phase::kProgramming) || phase == QLatin1String(backup_phase::kProgrammed) ||
               phase == QLatin1String(backup_phase::kRestarted);
    }
};

// A file of the backup folder that fails its check.
struct DamagedSettings {
    QString path;
    QString reason;
    QString serial;        // as far as the file still tells it ("" when it does not)
    bool pending = false;  // the file still says it is pending
};

struct SettingsBackupScan {
    QVector<StoredSettings> pending;  // oldest first
    QVector<DamagedSettings> damaged;
};

// <application data folder>/settings-backups, created when missing; "" when it cannot be.
QString DefaultSettingsBackupFolder();
// The file an update of this serial number writes its backup to: "<serial>.json"
// for a serial that is a plain file name, else the name with its unfit
// characters replaced and a part of the serial's SHA-256 added, so that two
// serial numbers never share a file; for an instrument without a serial number
// a new file of its own ("no-serial-<time>.json") that no instrument is ever
// matched to.
QString StoredSettingsPath(const QString& folder, const QString& serial);

// Writes the backup atomically (a temporary file renamed over the old one, synced
// to disk, the folder synced after); sets stored.path.  False with the reason
// when it cannot.
bool WriteStoredSettings(const QString& path, StoredSettings& stored, QString* error);
// Reads a backup and checks its checksum; nothing when the file is missing,
// unreadable, of another format, or its checksum does not match (reason in *error).
std::optional<StoredSettings> ReadStoredSettings(const QString& path, QString* error = nullptr);
// The pending backups of a folder, oldest first.
QVector<StoredSettings> PendingSettings(const QString& folder);
// The pending and the damaged backups of a folder (files set aside included).
SettingsBackupScan ScanSettingsBackups(const QString& folder);
// The pending backup of a serial number, if there is one (an empty serial has none).
std::optional<StoredSettings> PendingSettingsFor(const QString& folder, const QString& serial);
// The damaged backups that may belong to a serial number: the ones that still
// name it, and the ones at the file its backup would be written to.
QVector<DamagedSettings> DamagedSettingsFor(const QString& folder, const QString& serial);

// Renames a damaged file to "<file>.damaged-<yyyyMMdd-HHmmss>" so that nothing
// writes over it; the new path, or "" with the reason.
QString SetAsideDamaged(const QString& path, QString* error);
// Moves a backup (or a file set aside) into "<folder>/retired/", adding why and
// when to its name; the new path, or "" with the reason.  The file is kept.
QString RetireSettingsBackup(const QString& path, const QString& why, QString* error);

// The records that were read back from an instrument agree with the backup:
// its identity block and its settings are the backup's, byte for byte.
bool SameSettings(const StoredSettings& backup, const COMM_VERSION& version, const CKNG_SETTINGS& settings);

}  // namespace ckupdate
