#include "update/firmware/stored_settings.h"

#include "update/config/folders.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <cstring>

namespace ckupdate {
namespace {

constexpr const char* kFolderName = "settings-backups";

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
                       {"port", s.port},
                       {"time", s.time},
                       {"from", s.fromRelease},
                       {"to", s.toRelease},
                       {"to_name", s.toName},
                       {"to_date", s.toDate},
                       {"source", s.source},
                       {"state", s.state},
                       {"phase", s.phase},
                       {"restored_time", s.restoredTime},
                       {"version", QString::fromLatin1(Bytes(s.version).toHex())},
                       {"settings", QString::fromLatin1(Bytes(s.settings).toHex())},
                       {"setup", QString::fromLatin1(Bytes(s.setup).toHex())},
                       {"sha256", Checksum(s)}};
}

}  // namespace

QString DefaultSettingsBackupFolder() {
    const QString data = CheckMainAppDataDir(QString());
    if (data.isEmpty() || data == QLatin1String(".")) return QString();
    const QString folder = data + "/" + kFolderName;
    return QDir().mkpath(folder) ? folder : QString();
}

QString StoredSettingsPath(const QString& folder, const QString& serial) {
    QString name;
    for (const QChar c : serial) name += (c.isLetterOrNumber() && c.unicode() < 0x80) || c == '-' ? c : QChar('_');
    if (name.isEmpty()) name = QStringLiteral("unknown");
    return folder + "/" + name + ".json";
}

bool WriteStoredSettings(const QString& path, StoredSettings& stored, QString* error) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        if (error) *error = QStringLiteral("cannot create the folder %1").arg(QFileInfo(path).absolutePath());
        return false;
    }
    QSaveFile file(path);
    const QByteArray text = QJsonDocument(ToJson(stored)).toJson(QJsonDocument::Indented);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        if (error) *error = file.errorString();
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
    s.port = j.value("port").toString();
    s.time = j.value("time").toString();
    s.fromRelease = j.value("from").toString();
    s.toRelease = j.value("to").toString();
    s.toName = j.value("to_name").toString();
    s.toDate = j.value("to_date").toString();
    s.source = j.value("source").toString();
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

QVector<StoredSettings> PendingSettings(const QString& folder) {
    QVector<StoredSettings> pending;
    const QFileInfoList files = QDir(folder).entryInfoList({QStringLiteral("*.json")}, QDir::Files, QDir::Time | QDir::Reversed);
    for (const QFileInfo& f : files)
        if (auto s = ReadStoredSettings(f.absoluteFilePath()); s && s->Pending()) pending.push_back(*s);
    return pending;
}

std::optional<StoredSettings> PendingSettingsFor(const QString& folder, const QString& serial) {
    auto s = ReadStoredSettings(StoredSettingsPath(folder, serial));
    if (s && s->Pending() && s->serial == serial) return s;
    return std::nullopt;
}

}  // namespace ckupdate
