// Copies of the firmware an update replaced, so that a technician can go back
// to exactly what the instrument ran before.  Each copy is a firmware file in
// the header layout that "--file" and the update dialog read (device name,
// release, release date, then the image from the flash base) with two files
// beside it: its SHA-256 ("<file>.sha256", the format of sha256sum), checked
// before a copy is written back, and its record ("<file>.json": whose it is -
// serial number, device type code, processor type, name - which release, and
// which part of the application area it covers).
//
// A copy covers the whole application area: written back, it leaves nothing of
// a longer firmware behind.  It is named by time and a hash of the serial
// number, never by texts the instrument reports, and found by its record's exact
// serial number.  The newest few copies per instrument are kept.
#pragma once

#include "update/firmware/bin_stream.h"

#include <QDateTime>
#include <QString>
#include <QVector>

#include <cstdint>
#include <optional>

namespace ckupdate {

inline constexpr const char* kFirmwareBackupFolderName = "firmware-backups";
inline constexpr int kDefaultFirmwareBackupsKept = 3;

struct FirmwareBackup {
    QString path;
    QString serial;  // the instrument's serial number, exactly as it reported it
    std::uint32_t deviceCode = 0;
    std::uint32_t cpuType = 0;
    QString model;    // the instrument's name
    QString device;   // the three texts of the file
    QString release;
    QString date;
    QDateTime time;   // when it was taken (UTC)
    // The application area the copy stands for: [start, coverEnd) from the flash
    // base; bytes of it beyond the file's data are erased flash.
    std::uint32_t start = 0;
    std::uint32_t coverEnd = 0;
    // Has its record: copies of earlier versions have none and are known only
    // by their file name ("<serial>-<release>-<time>.bin").
    bool recorded = false;
};

// <application data folder>/firmware-backups, created when missing; "" when it cannot be.
QString DefaultFirmwareBackupFolder();
// The folder beside a settings-backup folder.
QString FirmwareBackupFolderBeside(const QString& settingsBackupFolder);

// <folder>/<yyyyMMdd-HHmmss>-<12 hex digits of the serial's SHA-256>.bin, with
// "-2", "-3", ... when that is taken.
QString FirmwareBackupPath(const QString& folder, const QString& serial, const QDateTime& utc);

// Writes the texts and image[0, end) (at least the part every firmware file
// holds) atomically, then its checksum file and its record.  False with the
// reason when any cannot be written; nothing half-written is left behind.
bool WriteFirmwareBackup(const QString& path, const FirmwareBackup& record, const TBinStream& image, std::uint32_t end,
                         QString* error);

// True when the file's checksum file exists and names the file's SHA-256.
bool CheckFirmwareBackup(const QString& path, QString* error);

// A copy with its record (or, for a copy of an earlier version, what its file
// tells); nothing when the file cannot be read.
std::optional<FirmwareBackup> ReadFirmwareBackup(const QString& path, QString* error = nullptr);

// The copies of a serial number in a folder, newest first (none for an empty serial).
QVector<FirmwareBackup> FirmwareBackupsOf(const QString& folder, const QString& serial);

// The copy a rollback writes: `file` when given, else the newest copy of the
// serial number in the folder, checked against its checksum.  "" with the
// reason when there is none or it does not match.
QString RollbackCopy(const QString& folder, const QString& serial, const QString& file, QString* why);

// Deletes all but the newest `keep` copies of the serial number (with their files).
void PruneFirmwareBackups(const QString& folder, const QString& serial, int keep);

}  // namespace ckupdate
