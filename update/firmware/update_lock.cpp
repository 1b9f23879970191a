#include "update/firmware/update_lock.h"

#include "update/config/folders.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSysInfo>

#include <map>
#include <mutex>

namespace ckupdate {
namespace {

QString LockPath(const QString& folder) { return folder + "/update.lock"; }
QString InfoPath(const QString& folder) { return folder + "/update-running.json"; }

// The locks this process holds, by folder, with how often each is held.
struct HeldLocks {
    std::mutex mutex;
    std::map<QString, std::pair<std::unique_ptr<QLockFile>, int>> held;
};
HeldLocks& Held() {
    static HeldLocks h;
    return h;
}

QString Description(const QString& folder, qint64 pid, const QString& host) {
    QFile f(InfoPath(folder));
    QJsonObject j;
    if (f.open(QIODevice::ReadOnly)) j = QJsonDocument::fromJson(f.readAll()).object();
    if (j.value("pid").toInteger() != pid) j = QJsonObject{};
    QString text = QStringLiteral("process %1").arg(pid);
    if (!j.value("program").toString().isEmpty()) text += " (" + j.value("program").toString() + ")";
    if (!host.isEmpty() && host != QSysInfo::machineHostName()) text += " on host " + host;
    if (!j.value("serial").toString().isEmpty()) text += ", instrument " + j.value("serial").toString();
    if (!j.value("port").toString().isEmpty()) text += " over " + j.value("port").toString();
    if (!j.value("socket").toString().isEmpty()) text += " " + j.value("socket").toString();
    if (!j.value("since").toString().isEmpty()) text += ", since " + j.value("since").toString();
    if (!host.isEmpty() && host != QSysInfo::machineHostName())
        text += QStringLiteral("; it cannot be checked from here: if no update runs on %1, remove the lock with: rm '%2'")
                    .arg(host, LockPath(folder));
    return text;
}

QString Holder(QLockFile& lock, const QString& folder) {
    if (lock.error() != QLockFile::LockFailedError)
        return QStringLiteral("the lock file %1 cannot be written").arg(LockPath(folder));
    qint64 pid = 0;
    QString host, app;
    lock.getLockInfo(&pid, &host, &app);
    return Description(folder, pid, host);
}

}  // namespace

UpdateLock::UpdateLock(const QString& folder) : folder_(folder) {}

UpdateLock::~UpdateLock() {
    if (!locked_) return;
    HeldLocks& h = Held();
    std::lock_guard guard(h.mutex);
    auto it = h.held.find(folder_);
    if (it == h.held.end() || --it->second.second > 0) return;
    QFile::remove(InfoPath(folder_));
    it->second.first->unlock();
    h.held.erase(it);
}

QString UpdateLock::DefaultFolder() {
    const QString data = CheckMainAppDataDir(QString());
    return data == QLatin1String(".") ? QString() : data;
}

bool UpdateLock::TryLock(const QString& serial, const QString& port, QString* holder) {
    if (locked_) return true;
    if (folder_.isEmpty()) {
        if (holder) *holder = QStringLiteral("there is no application data folder for the update lock");
        return false;
    }
    HeldLocks& h = Held();
    std::lock_guard guard(h.mutex);
    if (auto it = h.held.find(folder_); it != h.held.end()) {
        ++it->second.second;
        locked_ = true;
        return true;
    }
    QDir().mkpath(folder_);
    auto lock = std::make_unique<QLockFile>(LockPath(folder_));
    // An update holds the lock for minutes: never count a living holder as stale.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        if (holder) *holder = Holder(*lock, folder_);
        return false;
    }
    h.held.emplace(folder_, std::make_pair(std::move(lock), 1));
    locked_ = true;
    Describe(serial, port);
    return true;
}

void UpdateLock::Describe(const QString& serial, const QString& port, const QString& socket) {
    if (!locked_) return;
    QSaveFile f(InfoPath(folder_));
    const QJsonObject j{{"pid", QCoreApplication::applicationPid()},
                        {"program", QCoreApplication::applicationName()},
                        {"serial", serial},
                        {"port", port},
                        {"socket", socket},
                        {"since", QTime::currentTime().toString(QStringLiteral("HH:mm:ss"))}};
    if (f.open(QIODevice::WriteOnly)) {
        f.write(QJsonDocument(j).toJson(QJsonDocument::Compact));
        f.commit();
    }
}

QString UpdateLock::RunningUpdate(const QString& folder) {
    if (folder.isEmpty() || !QFile::exists(LockPath(folder))) return QString();
    {
        HeldLocks& h = Held();
        std::lock_guard guard(h.mutex);
        if (h.held.count(folder) != 0) return Description(folder, QCoreApplication::applicationPid(), QString());
    }
    QLockFile probe(LockPath(folder));
    probe.setStaleLockTime(0);
    if (probe.tryLock(0)) {
        probe.unlock();
        return QString();
    }
    return Holder(probe, folder);
}

std::optional<UpdateLock::Running> UpdateLock::RunningUpdateOf(const QString& folder) {
    const QString text = RunningUpdate(folder);
    if (text.isEmpty()) return std::nullopt;
    Running r{text, {}, {}, {}};
    QFile f(InfoPath(folder));
    if (f.open(QIODevice::ReadOnly)) {
        const QJsonObject j = QJsonDocument::fromJson(f.readAll()).object();
        r.serial = j.value("serial").toString();
        r.port = j.value("port").toString();
        r.socket = j.value("socket").toString();
    }
    return r;
}

}  // namespace ckupdate
