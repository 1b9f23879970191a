#include "update/firmware/update_lock.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace ckupdate {
namespace {

QString LockPath(const QString& folder) { return folder + "/update.lock"; }
QString InfoPath(const QString& folder) { return folder + "/update-running.json"; }

QString Description(const QString& folder, qint64 pid) {
    QFile f(InfoPath(folder));
    QJsonObject j;
    if (f.open(QIODevice::ReadOnly)) j = QJsonDocument::fromJson(f.readAll()).object();
    if (j.value("pid").toInteger() != pid) j = QJsonObject{};
    QString text = QStringLiteral("process %1").arg(pid);
    if (!j.value("program").toString().isEmpty()) text += " (" + j.value("program").toString() + ")";
    if (!j.value("serial").toString().isEmpty()) text += ", instrument " + j.value("serial").toString();
    if (!j.value("port").toString().isEmpty()) text += " over " + j.value("port").toString();
    if (!j.value("since").toString().isEmpty()) text += ", since " + j.value("since").toString();
    return text;
}

}  // namespace

UpdateLock::UpdateLock(const QString& folder) : folder_(folder) {}

UpdateLock::~UpdateLock() {
    if (!locked_) return;
    QFile::remove(InfoPath(folder_));
    lock_->unlock();
}

bool UpdateLock::TryLock(const QString& serial, const QString& port, QString* holder) {
    if (locked_) return true;
    QDir().mkpath(folder_);
    lock_ = std::make_unique<QLockFile>(LockPath(folder_));
    // An update holds the lock for minutes: never count a living holder as stale.
    lock_->setStaleLockTime(0);
    if (!lock_->tryLock(0)) {
        qint64 pid = 0;
        QString host, app;
        lock_->getLockInfo(&pid, &host, &app);
        if (holder) *holder = lock_->error() == QLockFile::LockFailedError ? Description(folder_, pid)
                                                                            : QStringLiteral("the lock file %1 cannot be written").arg(LockPath(folder_));
        return false;
    }
    locked_ = true;
    Describe(serial, port);
    return true;
}

void UpdateLock::Describe(const QString& serial, const QString& port) {
    if (!locked_) return;
    QSaveFile f(InfoPath(folder_));
    const QJsonObject j{{"pid", QCoreApplication::applicationPid()},
                        {"program", QCoreApplication::applicationName()},
                        {"serial", serial},
                        {"port", port},
                        {"since", QTime::currentTime().toString(QStringLiteral("HH:mm:ss"))}};
    if (f.open(QIODevice::WriteOnly)) {
        f.write(QJsonDocument(j).toJson(QJsonDocument::Compact));
        f.commit();
    }
}

QString UpdateLock::RunningUpdate(const QString& folder) {
    if (folder.isEmpty() || !QFile::exists(LockPath(folder))) return QString();
    QLockFile probe(LockPath(folder));
    probe.setStaleLockTime(0);
    if (probe.tryLock(0)) {
        probe.unlock();
        return QString();
    }
    qint64 pid = 0;
    QString host, app;
    if (!probe.getLockInfo(&pid, &host, &app)) return QString();
    return Description(folder, pid);
}

}  // namespace ckupdate
