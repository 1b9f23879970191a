// One update at a time: an update holds this lock from before its first
// exchange with the instrument until it ends, across processes (the program and
// any tolactl of the same user), so that a second update, or a command that
// would change the instrument, never runs into the middle of one.  The lock
// lives beside the settings backups; a lock whose process died is taken over.
#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

namespace ckupdate {

class UpdateLock {
public:
    explicit UpdateLock(const QString& folder);
    ~UpdateLock();
    UpdateLock(const UpdateLock&) = delete;
    UpdateLock& operator=(const UpdateLock&) = delete;

    // Takes the lock at once or not at all; describes the running update
    // ("process 1234 (tolactl), instrument H51234 over usb, since 16:01:02") in
    // *holder when another one has it.
    bool TryLock(const QString& serial, const QString& port, QString* holder);
    void Describe(const QString& serial, const QString& port);
    bool Locked() const { return locked_; }

    // The running update of a folder, or "" when none runs.
    static QString RunningUpdate(const QString& folder);

private:
    QString folder_;
    std::unique_ptr<QLockFile> lock_;
    bool locked_ = false;
};

}  // namespace ckupdate
