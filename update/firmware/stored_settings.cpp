#include "update/firmware/stored_settings.h"

#include "update/config/folders.h"

#include "platform/sync_folder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>
#include <cstring>

namespace ckupdate {
namespace {

constexpr const char* kFolderName = "settings-backups";
constexpr const char* kRetiredFolder = "retired";
constexpr const char* kDamagedSuffix = ".damaged-";
constexpr const char* kTimeFormat = "yyyyMMdd-HHmmss";
// Files beside the backups that are no backups (the update lock of earlier
// versions lived here).
constexpr const char* kNotBackups[] = {"update-running.json"};

template <typename Record>
QByteArray Bytes(const Record& r) {
    return QByteArray(reinterpret_cast<const char*>(&r), static_cast<qsizetype>(sizeof r));
}

template <typename Record>
bool FromHex(const QJsonValue& value, Record& r) {
    const QByteArray bytes = QByteArray::fromHex(value.toString().toLatin1());
    if (bytes.size() != static_cast<qsizetype>(sizeof r)) return false;
    std::memcpy(&r, bytes.constData(), sizeof r);
    return true;
}

// Covers the records and what says whose and from which firmware they are.
QString Checksum(const StoredSettings& s) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(s.serial.toUtf8() + '\0' + s.fromRelease.toUtf8() + '\0');
    hash.addData(Bytes(s.version));
    hash.addData(Bytes(s.settings));
    hash.addData(Bytes(s.setup));
    return QString::fromLatin1(hash.result().toHex());
}

QJsonObject ToJson(const StoredSettings& s) {
    return QJsonObject{{"format", kStoredSettingsFormat},
                       {"serial", s.serial},
                       {"device", s.device},
                       {"device_code", static_cast<qint64>(s.deviceCode)},
                       {"cpu_type", static_cast<qint64>(s.cpuType)},
                       {"port", s.port},
                       {"socket", s.socket},
                       {"bt_address", s.btAddress},
                       {"time", s.time},
                       {"from", s.fromRelease},
                       {"to", s.toRelease},
                       {"to_name", s.toName},
                       {"to_date", s.toDate},
                       {"source", s.source},
                       {"service", s.serviceMode},
                       {"state", s.state},
                       {"phase", s.phase},
                       {"restored_time", s.restoredTime},
                       {"version", QString::fromLatin1(Bytes(s.version).toHex())},
                       {"settings", QString::fromLatin1(Bytes(s.settings).toHex())},
                       {"setup", QString::fromLatin1(Bytes(s.setup).toHex())},
                       {"sha256", Checksum(s)}};
}

bool PlainFileName(const QString& serial) {
    return !serial.isEmpty() && std::all_of(serial.begin(), serial.end(), [](QChar c) {
               return (c.isLetterOrNumber() && c.unicode() < 0x80) || c == '-';
           });
}

QString NowText() { return QDateTime::currentDateTimeUtc().toString(QLatin1String(kTimeFormat)); }

// A path that no file holds yet: the wanted one, else with "-2", "-3", ... before the suffix.
QString FreePath(const QString& wanted, const QString& suffix) {
    const QString stem = wanted.chopped(suffix.size());
    QString path = wanted;
    for (int n = 2; QFileInfo::exists(path); ++n) path = stem + "-" + QString::number(n) + suffix;
    return path;
}

void SyncFolderOf(const QString& path) { tola::os::sync_folder(QFileInfo(path).absolutePath().toStdString()); }

// What a file that fails its check still tells: whose it was and whether it was pending.
DamagedSettings Damaged(const QString& path, const QString& reason) {
    DamagedSettings d{path, reason, QString(), false};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return d;
    const QJsonObject j = QJsonDocument::fromJson(file.readAll()).object();
    d.serial = j.value("serial").toString();
    d.pending = j.value("state").toString() == QLatin1String(backup_state::kPending);
    return d;
}

// A JSON file that is no settings backup at all (no format, no serial) is not
// reported as damaged; a file that is not even JSON may be a truncated backup.
bool LooksLikeBackup(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return true;
    QJsonParseError parse{};
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parse);
    if (parse.error != QJsonParseError::NoError || !doc.isObject()) return true;
    const QJsonObject j = doc.object();
    return j.contains("format") || j.contains("serial") || j.contains("settings");
}

}  // namespace

QString DefaultSettingsBackupFolder() {
    const QString data = CheckMainAppDataDir(QString());
    if (data.isEmpty() || data == QLatin1String(".")) return QString();
    const QString folder = data + "/" + kFolderName;
    return QDir().mkpath(folder) ? folder : QString();
}

QString StoredSettingsPath(const QString& folder, const QString& serial) {
    if (PlainFileName(serial)) return folder + "/" + serial + ".json";
    if (serial.isEmpty()) return FreePath(folder + "/no-serial-" + NowText() + ".json", QStringLiteral(".json"));
    QString name;
    for (const QChar c : serial) name += (c.isLetterOrNumber() && c.unicode() < 0x80) || c == '-' ? c : QChar('_');
    const QByteArray hash = QCryptographicHash::hash(serial.toUtf8(), QCryptographicHash::Sha256).toHex().left(8);
    return folder + "/" + name + "-" + QString::fromLatin1(hash) + ".json";
}

bool WriteStoredSettings(const QString& path, StoredSettings& stored, QString* error) {
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        if (error) *error = QStringLiteral("cannot create the folder %1").arg(folder);
        return false;
    }
    const bool created = !QFileInfo::exists(path);
    QSaveFile file(path);
    const QByteArray text = QJsonDocument(ToJson(stored)).toJson(QJsonDocument::Indented);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        if (error) *error = file.errorString();
        return false;
    }
    // The rename that put the file in place is durable only once the folder is.
    std::string why;
    if (!tola::os::sync_folder(folder.toStdString(), &why) && created) {
        if (error) *error = QString::fromStdString(why);
        return false;
    }
    stored.path = path;
    return true;
}

std::optional<StoredSettings> ReadStoredSettings(const QString& path, QString* error) {
    auto fail = [&](const QString& why) -> std::optional<StoredSettings> {
        if (error) *error = why;
        return std::nullopt;
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return fail(file.errorString());
    QJsonParseError parse{};
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parse);
    if (parse.error != QJsonParseError::NoError || !doc.isObject()) return fail(QStringLiteral("not a settings backup"));
    const QJsonObject j = doc.object();
    if (j.value("format").toInt() != kStoredSettingsFormat)
        return fail(QStringLiteral("settings backup of an unknown format"));
    StoredSettings s;
    s.serial = j.value("serial").toString();
    s.device = j.value("device").toString();
    s.deviceCode = static_cast<std::uint32_t>(j.value("device_code").toInteger());
    s.cpuType = static_cast<std::uint32_t>(j.value("cpu_type").toInteger());
    s.port = j.value("port").toString();
    s.socket = j.value("socket").toString();
    s.btAddress = j.value("bt_address").toString();
    s.time = j.value("time").toString();
    s.fromRelease = j.value("from").toString();
    s.toRelease = j.value("to").toString();
    s.toName = j.value("to_name").toString();
    s.toDate = j.value("to_date").toString();
    s.source = j.value("source").toString();
    s.serviceMode = j.value("service").toBool();
    s.state = j.value("state").toString();
    s.phase = j.value("phase").toString();
    s.restoredTime = j.value("restored_time").toString();
    if (!FromHex(j.value("version"), s.version) || !FromHex(j.value("settings"), s.settings) ||
        !FromHex(j.value("setup"), s.setup))
        return fail(QStringLiteral("the settings backup is incomplete"));
    if (Checksum(s) != j.value("sha256").toString())
        return fail(QStringLiteral("the checksum of the settings backup does not match"));
    s.path = path;
    return s;
}

SettingsBackupScan ScanSettingsBackups(const QString& folder) {
    SettingsBackupScan scan;
    if (folder.isEmpty()) return scan;
    const QDir dir(folder);
    for (const QFileInfo& f : dir.entryInfoList({QStringLiteral("*.json")}, QDir::Files, QDir::Time | QDir::Reversed)) {
        if (std::find(std::begin(kNotBackups), std::end(kNotBackups), f.fileName()) != std::end(kNotBackups)) continue;
        QString why;
        if (auto s = ReadStoredSettings(f.absoluteFilePath(), &why)) {
            if (s->Pending()) scan.pending.push_back(*s);
        } else if (LooksLikeBackup(f.absoluteFilePath())) {
            scan.damaged.push_back(Damaged(f.absoluteFilePath(), why));
        }
    }
    for (const QFileInfo& f : dir.entryInfoList({QStringLiteral("*.json") + kDamagedSuffix + "*"}, QDir::Files, QDir::Time | QDir::Reversed))
        scan.damaged.push_back(Damaged(f.absoluteFilePath(), QStringLiteral("set aside after it failed its check")));
    return scan;
}

QVector<StoredSettings> PendingSettings(const QString& folder) { return ScanSettingsBackups(folder).pending; }

std::optional<StoredSettings> PendingSettingsFor(const QString& folder, const QString& serial) {
    if (serial.isEmpty()) return std::nullopt;
    std::optional<StoredSettings> found;
    for (const StoredSettings& s : PendingSettings(folder))
        if (s.serial == serial) found = s;  // the newest, should there be more than one
    return found;
}

QVector<DamagedSettings> DamagedSettingsFor(const QString& folder, const QString& serial) {
    QVector<DamagedSettings> found;
    const QString own = serial.isEmpty() ? QString() : QFileInfo(StoredSettingsPath(folder, serial)).fileName();
    for (const DamagedSettings& d : ScanSettingsBackups(folder).damaged) {
        const QString name = QFileInfo(d.path).fileName();
        const bool at_own_file = !own.isEmpty() && (name == own || name.startsWith(own + kDamagedSuffix));
        if ((!serial.isEmpty() && d.serial == serial) || (d.serial.isEmpty() && at_own_file)) found.push_back(d);
    }
    return found;
}

QString SetAsideDamaged(const QString& path, QString* error) {
    const QString target = FreePath(path + kDamagedSuffix + NowText(), QString());
    if (!QFile::rename(path, target)) {
        if (error) *error = QStringLiteral("cannot rename %1 to %2").arg(path, target);
        return QString();
    }
    SyncFolderOf(target);
    return target;
}

QString RetireSettingsBackup(const QString& path, const QString& why, QString* error) {
    const QFileInfo info(path);
    const QString folder = info.absolutePath() + "/" + kRetiredFolder;
    if (!QDir().mkpath(folder)) {
        if (error) *error = QStringLiteral("cannot create the folder %1").arg(folder);
        return QString();
    }
    QString stem = info.fileName();
    if (stem.endsWith(QLatin1String(".json"))) stem.chop(5);
    const QString target = FreePath(folder + "/" + stem + "-" + why + "-" + NowText() + ".json", QStringLiteral(".json"));
    if (!QFile::rename(path, target)) {
        if (error) *error = QStringLiteral("cannot move %1 to %2").arg(path, target);
        return QString();
    }
    SyncFolderOf(target);
    SyncFolderOf(path);
    return target;
}

bool SameSettings(const StoredSettings& backup, const COMM_VERSION& version, const CKNG_SETTINGS& settings) {
    return std::memcmp(&backup.version, &version, sizeof version) == 0 &&
           std::memcmp(&backup.settings, &settings, sizeof settings) == 0;
}

}  // namespace ckupdate
