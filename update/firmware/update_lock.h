// One update at a time: an update, a settings restore and a rollback hold this
// lock from before their first exchange with the instrument until they end,
// across processes (the program and any tolactl of the same user), so that a
// second one, or a command that would change an instrument, never runs into
// the middle of one.  The lock lives in the application data folder, whatever
// folder the backups are kept in, so that every writer finds it; a lock whose
// process died on this host is taken over.  A lock left by a process on another
// host (a home folder shared between machines) cannot be checked from here: it
// is reported with the command that clears it.
//
// Within one process the lock nests: a workflow that holds it may run the
// restore and the update that take it again.
#pragma once

#include <QLockFile>
#include <QString>

#include <memory>
#include <optional>

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
    // What the lock says about its update; the USB socket once the update has
    // pinned its instrument, so that a survey leaves that socket alone.
    void Describe(const QString& serial, const QString& port, const QString& socket = QString());
    bool Locked() const { return locked_; }

    // The application data folder ("" when there is none).
    static QString DefaultFolder();
    // The running update of a folder, or "" when none runs.
    static QString RunningUpdate(const QString& folder);
    struct Running {
        QString text;  // as RunningUpdate says it
        QString serial, port, socket;  // "" where the update has not said
    };
    // The running update of a folder with what it holds, or nullopt when none runs.
    static std::optional<Running> RunningUpdateOf(const QString& folder);

private:
    QString folder_;
    bool locked_ = false;
};

}  // namespace ckupdate
