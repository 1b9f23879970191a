#include "update/firmware/firmware_backup.h"

#include "update/config/folders.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

namespace ckupdate {
namespace {

constexpr const char* kChecksumSuffix = ".sha256";
constexpr const char* kTimeFormat = "yyyyMMdd-HHmmss";
constexpr int kTimeLength = 15;

QString FileNamePart(const QString& text) {
    QString name;
    for (const QChar c : text) name += (c.isLetterOrNumber() && c.unicode() < 0x80) || c == '-' ? c : QChar('_');
    return name.isEmpty() ? QStringLiteral("unknown") : name;
}

QByteArray Field(const std::array<char, 64>& field) {
    return QByteArray(field.data(), static_cast<qsizetype>(field.size()));
}

bool Commit(QSaveFile& file, const QByteArray& bytes, QString* error) {
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit()) return true;
    if (error) *error = file.errorString();
    return false;
}

QString Sha256Of(const QString& path, QString* error) {
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file)) {
        if (error) *error = file.errorString();
        return QString();
    }
    return QString::fromLatin1(hash.result().toHex());
}

}  // namespace

QString DefaultFirmwareBackupFolder() {
    const QString data = CheckMainAppDataDir(QString());
    if (data.isEmpty() || data == QLatin1String(".")) return QString();
    const QString folder = data + "/" + kFirmwareBackupFolderName;
    return QDir().mkpath(folder) ? folder : QString();
}

QString FirmwareBackupFolderBeside(const QString& settingsBackupFolder) {
    if (settingsBackupFolder.isEmpty()) return QString();
    return QFileInfo(settingsBackupFolder).absolutePath() + "/" + kFirmwareBackupFolderName;
}

QString FirmwareBackupPath(const QString& folder, const QString& serial, const QString& release, const QDateTime& utc) {
    return folder + "/" + FileNamePart(serial) + "-" + FileNamePart(release) + "-" +
           utc.toUTC().toString(QLatin1String(kTimeFormat)) + ".bin";
}

bool WriteFirmwareBackup(const QString& path, const TBinStream& image, std::uint32_t end, QString* error) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        if (error) *error = QStringLiteral("cannot create the folder %1").arg(QFileInfo(path).absolutePath());
        return false;
    }
    // Every firmware file holds at least this much image, or it reads as incomplete.
    end = std::clamp<std::uint32_t>(end, kExternalImagePart, static_cast<std::uint32_t>(image.Data.size()));
    QByteArray bytes = Field(image.CDeviceName) + Field(image.CReleaseNumber) + Field(image.CReleaseDate);
    bytes.append(reinterpret_cast<const char*>(image.Data.data()), static_cast<qsizetype>(end));
    const QString sum = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());

    QSaveFile file(path);
    if (!Commit(file, bytes, error)) return false;
    QSaveFile checksum(path + kChecksumSuffix);
    if (!Commit(checksum, (sum + "  " + QFileInfo(path).fileName() + "\n").toUtf8(), error)) {
        QFile::remove(path);  // a copy without its checksum would be refused anyway
        return false;
    }
    return true;
}

bool CheckFirmwareBackup(const QString& path, QString* error) {
    QFile checksum(path + kChecksumSuffix);
    if (!checksum.open(QIODevice::ReadOnly)) {
        if (error) *error = QStringLiteral("its checksum file %1 cannot be read").arg(checksum.fileName());
        return false;
    }
    const QString expected = QString::fromLatin1(checksum.readLine(200)).section(' ', 0, 0).trimmed().toLower();
    QString why;
    const QString actual = Sha256Of(path, &why);
    if (actual.isEmpty()) {
        if (error) *error = why;
        return false;
    }
    if (expected != actual) {
        if (error) *error = QStringLiteral("its checksum does not match");
        return false;
    }
    return true;
}

QVector<FirmwareBackup> FirmwareBackupsOf(const QString& folder, const QString& serial) {
    QVector<FirmwareBackup> found;
    const QString prefix = FileNamePart(serial) + "-";
    const QFileInfoList files = QDir(folder).entryInfoList({prefix + "*.bin"}, QDir::Files);
    for (const QFileInfo& f : files) {
        const QString stem = f.completeBaseName();
        if (stem.size() < prefix.size() + kTimeLength + 2) continue;
        FirmwareBackup b;
        b.path = f.absoluteFilePath();
        b.serial = serial;
        b.time = QDateTime::fromString(stem.right(kTimeLength), QLatin1String(kTimeFormat));
        if (!b.time.isValid()) continue;
        b.time.setTimeSpec(Qt::UTC);
        QFile file(b.path);
        if (!file.open(QIODevice::ReadOnly)) continue;
        const QByteArray head = file.read(3 * 64);
        if (head.size() != 3 * 64) continue;
        auto text = [&](int i) {
            std::array<char, 64> field{};
            std::copy_n(head.constData() + i * 64, 64, field.begin());
            return FieldText(field);
        };
        b.device = text(0);
        b.release = text(1);
        b.date = text(2);
        found.push_back(b);
    }
    std::sort(found.begin(), found.end(), [](const FirmwareBackup& a, const FirmwareBackup& b) {
        return a.time != b.time ? a.time > b.time : a.path > b.path;
    });
    return found;
}

QString RollbackCopy(const QString& folder, const QString& serial, const QString& file, QString* why) {
    QString path = file;
    if (path.isEmpty()) {
        const QVector<FirmwareBackup> copies = FirmwareBackupsOf(folder, serial);
        if (copies.isEmpty()) {
            if (why) *why = QStringLiteral("there is no firmware backup of instrument %1 in %2").arg(serial, folder);
            return QString();
        }
        path = copies.front().path;
    }
    QString reason;
    if (!CheckFirmwareBackup(path, &reason)) {
        if (why) *why = QStringLiteral("the firmware backup %1 is refused: %2").arg(path, reason);
        return QString();
    }
    return path;
}

void PruneFirmwareBackups(const QString& folder, const QString& serial, int keep) {
    const QVector<FirmwareBackup> all = FirmwareBackupsOf(folder, serial);
    for (qsizetype i = std::max(keep, 1); i < all.size(); ++i) {
        QFile::remove(all[i].path);
        QFile::remove(all[i].path + kChecksumSuffix);
    }
}

}  // namespace ckupdate
