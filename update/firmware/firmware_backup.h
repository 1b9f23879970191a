// Copies of the firmware an update replaced, so that a technician can go back
// to exactly what the instrument ran before.  Each copy is a firmware file in
// the header layout that "--file" and the update dialog read (device name,
// release, release date, then the image from the flash base), named by serial
// number, release and time, with its SHA-256 in a sidecar file
// ("<file>.sha256", the format of sha256sum) that is checked before a copy is
// written back.  The newest few copies per instrument are kept.
#pragma once

#include "update/firmware/bin_stream.h"

#include <QDateTime>
#include <QString>
#include <QVector>

#include <cstdint>

namespace ckupdate {

inline constexpr const char* kFirmwareBackupFolderName = "firmware-backups";
inline constexpr int kDefaultFirmwareBackupsKept = 3;

struct FirmwareBackup {
    QString path;
    QString serial;   // as it appears in the file name
    QString device;   // the three texts of the file
    QString release;
    QString date;
    QDateTime time;   // when it was taken (UTC, from the file name)
};

// <application data folder>/firmware-backups, created when missing; "" when it cannot be.
QString DefaultFirmwareBackupFolder();
// The folder beside a settings-backup folder.
QString FirmwareBackupFolderBeside(const QString& settingsBackupFolder);

// <folder>/<serial>-<release>-<yyyyMMdd-HHmmss>.bin (characters unfit for a
// file name become '_').
QString FirmwareBackupPath(const QString& folder, const QString& serial, const QString& release, const QDateTime& utc);

// Writes the texts and image[0, end) (at least the part every firmware file
// holds) atomically, then its checksum file.  False with the reason when either
// cannot be written; nothing half-written is left behind.
bool WriteFirmwareBackup(const QString& path, const TBinStream& image, std::uint32_t end, QString* error);

// True when the file's checksum file exists and names the file's SHA-256.
bool CheckFirmwareBackup(const QString& path, QString* error);

// The backups of a serial number in a folder, newest first.
QVector<FirmwareBackup> FirmwareBackupsOf(const QString& folder, const QString& serial);

// The copy a rollback writes: `file` when given (of any instrument), else the
// newest copy of the serial number in the folder, checked against its checksum.
// "" with the reason when there is none or it does not match.
QString RollbackCopy(const QString& folder, const QString& serial, const QString& file, QString* why);

// Deletes all but the newest `keep` backups of the serial number (with their checksums).
void PruneFirmwareBackups(const QString& folder, const QString& serial, int keep);

}  // namespace ckupdate
