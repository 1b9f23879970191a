// The update history: one JSON object per line in a file of the application data
// folder, appended for every update attempt.
#pragma once

#include <QJsonObject>
#include <QString>
#include <QVector>

namespace ckupdate {

inline constexpr const char* kHistoryFileName = "update-history.jsonl";

struct UpdateRecord {
    QString time;       // ISO 8601, UTC, when the attempt started
    QString serial;     // the instrument's serial number
    QString device;     // its name
    QString port;       // "usb" or "bluetooth"
    QString fromRelease;
    QString toRelease;
    QString source;     // "catalog" or the external file
    QString result;     // "succeeded", "refused", "failed", "not back"
    int step = 0;       // the last step shown (1..5), 0 before the first
    QString message;    // the text of the error that ended it, if any
    qint64 durationMs = 0;
    bool verified = false;
    QString settingsBackup;  // the file that keeps the instrument's settings during the update
    QString firmwareBackup;  // the copy of the firmware the update replaced ("" when none was taken)

    QJsonObject ToJson() const;
    static UpdateRecord FromJson(const QJsonObject& json);
};

// The history file in the application data folder (created when missing).
QString DefaultHistoryFile();

// True when a line can be appended (the file is created when missing).
bool HistoryWritable(const QString& file);
// Appends one line; false when the file cannot be written.
bool AppendUpdateRecord(const QString& file, const UpdateRecord& record);
// Every readable line, oldest first; lines that are not records are skipped.
QVector<UpdateRecord> ReadUpdateHistory(const QString& file);

}  // namespace ckupdate
