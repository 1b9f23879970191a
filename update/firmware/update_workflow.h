// What happens around an update, the same for the program's "Run" and for
// "tolactl update": nothing starts while another update runs; what an earlier
// update left unfinished is finished first (its pending settings written back,
// or an instrument found in its boot loader programmed again - after asking
// which backup is its own); a pending backup that has gone stale is not written
// over newer settings; the default image is the variant the instrument runs;
// only a Chromatik V is updated.  Rollbacks and settings restores go through
// the same checks of whose the files are.
//
// Synchronous, on the thread that runs the engine; questions go to the view.
#pragma once

#include "update/device/device_connection.h"
#include "update/firmware/ck_update_engine.h"
#include "update/firmware/firmware_backup.h"
#include "update/firmware/stored_settings.h"

#include <QString>
#include <QVector>

namespace ckupdate {

struct WorkflowRequest {
    // An image was chosen (a catalog entry named, a file read): no variant choice.
    bool explicitImage = false;
    // Questions are answered as "--yes" does: the only safe answer, never a guess.
    bool assumeYes = false;
    // A stale backup is written back over the instrument's present settings.
    bool restoreStale = false;
    // The backup that completes an instrument found in its boot loader, when
    // more than one could be its own.
    QString settingsFile;
};

// What an earlier, unfinished update of the connected instrument left to do.
struct ResumePlan {
    enum class Kind {
        None,      // nothing pending
        Restore,   // its pending settings go back
        Settle,    // its settings are already the backup's: the backup is marked restored
        Stale,     // its update never erased anything and its settings changed since
        Complete,  // it waits in its boot loader: its firmware and settings go back
        Blocked,   // something stands in the way (text says what)
    } kind = Kind::None;
    StoredSettings backup;
    QVector<StoredSettings> candidates;  // Complete: every pending backup that may be its own
    QString text;                        // what will be done, or why nothing can be
};

class UpdateWorkflow {
public:
    UpdateWorkflow(TCkUpdateEngine& engine, UpdateHost& host, UpdateView& view);

    // The running update that keeps this one from starting, or "".
    QString RunningUpdate() const;
    // Looks at the connected instrument and the pending backups.  Reads the
    // instrument's settings when a backup may have gone stale; writes nothing.
    ResumePlan PlanResume(const WorkflowRequest& request);
    // Carries the plan out (asking where the plan needs an answer); true when
    // the instrument then holds what the earlier update meant it to.
    bool Resume(const ResumePlan& plan, const WorkflowRequest& request);
    // Everything "Run" does: the refusal while another update runs, the resume,
    // the variant, the processor check, the update.  True when the instrument
    // ends on the update's firmware with its own settings (also when finishing
    // the earlier update was all there was to do).
    bool Run(const WorkflowRequest& request);
    // Run up to the update itself: Update when the engine's Run() is next
    // (the image chosen, the instrument eligible), Done when finishing an
    // earlier update was all there was to do, Stop when nothing more may happen.
    enum class Next { Update, Done, Stop };
    Next Prepare(const WorkflowRequest& request);
    // True when the last Run ended after completing an earlier update.
    bool Resumed() const { return resumed_; }
    // The release the last Run left the instrument on (for texts).
    const QString& ResumedRelease() const { return resumed_release_; }

    // A rollback of a firmware copy: refused when the copy is of another
    // instrument (serial number, device type, processor) unless otherInstrument
    // says the technician confirmed it; the instrument's own copy is written in
    // the service mode (it ran that firmware before), another's under the rules.
    // Prepares the engine (image, options); "" when it may go on, else why not.
    QString PrepareRollback(const QString& path, bool otherInstrument);

    // The default catalog entry for the instrument: the "BU"/"DW" variant it runs.
    static void SelectDefaultImage(const TDeviceInfo& info, bool serviceMode);
    // The text for an instrument that cannot be reached over Bluetooth while a
    // pending update says it waits in its boot loader (only USB reaches a boot
    // loader); "" when none says so.
    static QString BootLoaderOverBluetooth(const QString& backupFolder, const QString& address);

    const QString& LastMessage() const { return last_message_; }

private:
    QVector<StoredSettings> BootLoaderCandidates(const QString& folder) const;
    ResumePlan PlanForBootLoader(const QString& folder, const WorkflowRequest& request);
    ResumePlan PlanForPending(const StoredSettings& backup);
    bool ChooseCandidate(ResumePlan& plan, const WorkflowRequest& request);
    bool Complete(const StoredSettings& backup);
    bool Settle(const StoredSettings& backup);
    bool KeepPresentSettings(const StoredSettings& backup);
    void Say(const QString& text);

    TCkUpdateEngine& engine_;
    UpdateHost& host_;
    UpdateView& view_;
    QString last_message_;
    std::optional<StoredSettings> present_;  // the instrument's settings as PlanResume read them
    bool resumed_ = false;
    QString resumed_release_;
};

}  // namespace ckupdate
