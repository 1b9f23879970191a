#include "update/firmware/update_history.h"

#include "update/config/folders.h"

#include <QFile>
#include <QJsonDocument>

namespace ckupdate {

QJsonObject UpdateRecord::ToJson() const {
    return QJsonObject{{"time", time},         {"serial", serial},   {"device", device},
                       {"port", port},         {"from", fromRelease}, {"to", toRelease},
                       {"source", source},     {"result", result},   {"step", step},
                       {"message", message},   {"duration_ms", durationMs}, {"verified", verified},
                       {"settings_backup", settingsBackup}, {"firmware_backup", firmwareBackup}};
}

UpdateRecord UpdateRecord::FromJson(const QJsonObject& j) {
    UpdateRecord r;
    r.time = j.value("time").toString();
    r.serial = j.value("serial").toString();
    r.device = j.value("device").toString();
    r.port = j.value("port").toString();
    r.fromRelease = j.value("from").toString();
    r.toRelease = j.value("to").toString();
    r.source = j.value("source").toString();
    r.result = j.value("result").toString();
    r.step = j.value("step").toInt();
    r.message = j.value("message").toString();
    r.durationMs = j.value("duration_ms").toInteger();
    r.verified = j.value("verified").toBool();
    r.settingsBackup = j.value("settings_backup").toString();
    r.firmwareBackup = j.value("firmware_backup").toString();
    return r;
}

QString DefaultHistoryFile() {
    const QString folder = CheckMainAppDataDir(QString());
    return folder.isEmpty() ? QString() : folder + "/" + QString::fromLatin1(kHistoryFileName);
}

bool HistoryWritable(const QString& file) {
    QFile f(file);
    return f.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
}

bool AppendUpdateRecord(const QString& file, const UpdateRecord& record) {
    if (file.isEmpty()) return false;
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) return false;
    const QByteArray line = QJsonDocument(record.ToJson()).toJson(QJsonDocument::Compact) + '\n';
    return f.write(line) == line.size();
}

QVector<UpdateRecord> ReadUpdateHistory(const QString& file) {
    QVector<UpdateRecord> records;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) return records;
    while (!f.atEnd()) {
        const QByteArray line = f.readLine().trimmed();
        if (line.isEmpty()) continue;
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
        if (error.error != QJsonParseError::NoError || !doc.isObject()) continue;
        records.push_back(UpdateRecord::FromJson(doc.object()));
    }
    return records;
}

}  // namespace ckupdate
