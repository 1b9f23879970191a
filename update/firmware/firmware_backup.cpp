#include "update/firmware/firmware_backup.h"

#include "update/config/folders.h"

#include "platform/sync_folder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>

namespace ckupdate {
namespace {

constexpr const char* kChecksumSuffix = ".sha256";
constexpr const char* kRecordSuffix = ".json";
constexpr const char* kTimeFormat = "yyyyMMdd-HHmmss";
constexpr int kTimeLength = 15;
constexpr int kRecordFormat = 1;

// The file-name part of a text in the names of earlier versions' copies.
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

QJsonObject ToJson(const FirmwareBackup& b, const QString& sha256) {
    return QJsonObject{{"format", kRecordFormat},
                       {"serial", b.serial},
                       {"device_code", static_cast<qint64>(b.deviceCode)},
                       {"cpu_type", static_cast<qint64>(b.cpuType)},
                       {"model", b.model},
                       {"release", b.release},
                       {"date", b.date},
                       {"time", b.time.toUTC().toString(Qt::ISODate)},
                       {"start", static_cast<qint64>(b.start)},
                       {"cover_end", static_cast<qint64>(b.coverEnd)},
                       {"sha256", sha256}};
}

// The texts at the head of a firmware file.
bool ReadTexts(const QString& path, FirmwareBackup& b) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray head = file.read(3 * 64);
    if (head.size() != 3 * 64) return false;
    auto text = [&](int i) {
        std::array<char, 64> field{};
        std::copy_n(head.constData() + i * 64, 64, field.begin());
        return FieldText(field);
    };
    b.device = text(0);
    b.release = text(1);
    b.date = text(2);
    return true;
}

// A copy of an earlier version: "<serial>-<release>-<time>.bin" with the
// release its own file names, so that the serial "X" never takes the copies of
// "X-2".
bool LegacyCopyOf(const FirmwareBackup& b, const QString& serial) {
    const QString stem = QFileInfo(b.path).completeBaseName();
    return stem.size() > kTimeLength &&
           stem == FileNamePart(serial) + "-" + FileNamePart(b.release) + "-" + stem.right(kTimeLength);
}

void RemoveCopy(const QString& path) {
    QFile::remove(path);
    QFile::remove(path + kChecksumSuffix);
    QFile::remove(path + kRecordSuffix);
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

QString FirmwareBackupPath(const QString& folder, const QString& serial, const QDateTime& utc) {
    const QByteArray hash = QCryptographicHash::hash(serial.toUtf8(), QCryptographicHash::Sha256).toHex().left(12);
    const QString stem = folder + "/" + utc.toUTC().toString(QLatin1String(kTimeFormat)) + "-" + QString::fromLatin1(hash);
    QString path = stem + ".bin";
    for (int n = 2; QFileInfo::exists(path); ++n) path = stem + "-" + QString::number(n) + ".bin";
    return path;
}

bool WriteFirmwareBackup(const QString& path, const FirmwareBackup& record, const TBinStream& image, std::uint32_t end,
                         QString* error) {
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        if (error) *error = QStringLiteral("cannot create the folder %1").arg(folder);
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
    QSaveFile described(path + kRecordSuffix);
    const QByteArray json = QJsonDocument(ToJson(record, sum)).toJson(QJsonDocument::Indented);
    std::string why;
    if (!Commit(checksum, (sum + "  " + QFileInfo(path).fileName() + "\n").toUtf8(), error) ||
        !Commit(described, json, error) || !tola::os::sync_folder(folder.toStdString(), &why)) {
        if (error && !why.empty()) *error = QString::fromStdString(why);
        RemoveCopy(path);  // a copy without its checksum or record would be refused anyway
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

std::optional<FirmwareBackup> ReadFirmwareBackup(const QString& path, QString* error) {
    FirmwareBackup b;
    b.path = QFileInfo(path).absoluteFilePath();
    if (!ReadTexts(path, b)) {
        if (error) *error = QStringLiteral("%1 is not a firmware file").arg(path);
        return std::nullopt;
    }
    QFile file(path + kRecordSuffix);
    if (file.open(QIODevice::ReadOnly)) {
        const QJsonObject j = QJsonDocument::fromJson(file.readAll()).object();
        if (j.value("format").toInt() == kRecordFormat) {
            b.recorded = true;
            b.serial = j.value("serial").toString();
            b.deviceCode = static_cast<std::uint32_t>(j.value("device_code").toInteger());
            b.cpuType = static_cast<std::uint32_t>(j.value("cpu_type").toInteger());
            b.model = j.value("model").toString();
            b.time = QDateTime::fromString(j.value("time").toString(), Qt::ISODate).toUTC();
            b.start = static_cast<std::uint32_t>(j.value("start").toInteger());
            b.coverEnd = static_cast<std::uint32_t>(j.value("cover_end").toInteger());
            return b;
        }
    }
    // An earlier version's copy: only its name tells when it was taken.
    const QString stem = QFileInfo(path).completeBaseName();
    b.time = QDateTime::fromString(stem.right(kTimeLength), QLatin1String(kTimeFormat));
    b.time.setTimeSpec(Qt::UTC);
    return b;
}

QVector<FirmwareBackup> FirmwareBackupsOf(const QString& folder, const QString& serial) {
    QVector<FirmwareBackup> found;
    if (serial.isEmpty()) return found;
    for (const QFileInfo& f : QDir(folder).entryInfoList({QStringLiteral("*.bin")}, QDir::Files)) {
        auto b = ReadFirmwareBackup(f.absoluteFilePath());
        if (!b || !b->time.isValid()) continue;
        if (b->recorded ? b->serial != serial : !LegacyCopyOf(*b, serial)) continue;
        if (!b->recorded) b->serial = serial;
        found.push_back(*b);
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
    for (qsizetype i = std::max(keep, 1); i < all.size(); ++i) RemoveCopy(all[i].path);
}

}  // namespace ckupdate
