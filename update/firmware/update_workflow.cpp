#include "update/firmware/update_workflow.h"

#include "update/firmware/firmware_catalog.h"
#include "update/firmware/update_lock.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>

namespace ckupdate {
namespace {

struct TrCk {
    Q_DECLARE_TR_FUNCTIONS(TfrmCkUpdate)
};

// The phases after which an instrument may wait in its boot loader.
bool LeftInBootLoader(const StoredSettings& b) {
    return b.phase == QLatin1String(backup_phase::kProgramming) || b.phase == QLatin1String(backup_phase::kProgrammed) ||
           b.phase == QLatin1String(backup_phase::kRead);
}

bool OfAChromatikV(const StoredSettings& b) {
    return (b.cpuType == 0 || b.cpuType == kChromatikVCpuType) &&
           (b.deviceCode == 0 || b.deviceCode == kChromatikVDeviceType);
}

QString Describe(const StoredSettings& b) {
    return TrCk::tr("instrument %1, update from %2 to %3 of %4 (%5)")
        .arg(b.serial.isEmpty() ? TrCk::tr("without a serial number") : b.serial, b.fromRelease, b.toRelease, b.time,
             b.path);
}

}  // namespace

UpdateWorkflow::UpdateWorkflow(TCkUpdateEngine& engine, UpdateHost& host, UpdateView& view)
    : engine_(engine), host_(host), view_(view) {}

void UpdateWorkflow::Say(const QString& text) {
    last_message_ = text;
    view_.AddMessage(text);
}

QString UpdateWorkflow::RunningUpdate() const { return UpdateLock::RunningUpdate(engine_.LockFolder()); }

void UpdateWorkflow::SelectDefaultImage(const TDeviceInfo& info, bool serviceMode) {
    Firmwares().ChooseVariant(info.FirmwareVersion, serviceMode);
}

QString UpdateWorkflow::BootLoaderOverBluetooth(const QString& backupFolder, const QString& address) {
    for (const StoredSettings& b : PendingSettings(backupFolder)) {
        if (!b.Erased() || b.phase == QLatin1String(backup_phase::kRestarted)) continue;
        if (b.port != QLatin1String("bluetooth") || (!b.btAddress.isEmpty() && b.btAddress != address)) continue;
        return TrCk::tr("Instrument %1 waits in its boot loader: its update from %2 to %3 (%4) stopped while "
                        "programming, and Bluetooth cannot reach a boot loader. Connect it over USB and run the update "
                        "again: it completes the update and restores the settings kept in %5.")
            .arg(b.serial, b.fromRelease, b.toRelease, b.time, b.path);
    }
    return QString();
}

// --- what an earlier update left ---

QVector<StoredSettings> UpdateWorkflow::BootLoaderCandidates(const QString& folder) const {
    QVector<StoredSettings> found;
    for (const StoredSettings& b : PendingSettings(folder))
        if (LeftInBootLoader(b) && OfAChromatikV(b) && !b.serial.isEmpty()) found.push_back(b);
    return found;
}

ResumePlan UpdateWorkflow::PlanForBootLoader(const QString& folder, const WorkflowRequest& request) {
    ResumePlan plan;
    plan.kind = ResumePlan::Kind::Complete;
    // Never another model's firmware: a Chromatik V's boot loader runs on its STM32F2.
    if (const std::int32_t controller = engine_.ControllerType(); controller != kChromatikVController) {
        plan.kind = ResumePlan::Kind::Blocked;
        plan.text = TrCk::tr("The instrument answers only as its boot loader, and its controller (type %1) is not the "
                             "one of a Chromatik V: nothing was sent to it.")
                        .arg(controller);
        return plan;
    }
    plan.candidates = BootLoaderCandidates(folder);
    if (!request.settingsFile.isEmpty()) {
        QString why;
        const auto chosen = ReadStoredSettings(request.settingsFile, &why);
        if (!chosen || !chosen->Pending() || !LeftInBootLoader(*chosen) || !OfAChromatikV(*chosen)) {
            plan.kind = ResumePlan::Kind::Blocked;
            plan.text = TrCk::tr("The settings backup %1 cannot complete an instrument in its boot loader: %2.")
                            .arg(request.settingsFile,
                                 chosen ? TrCk::tr("it is not the pending backup of an interrupted update of a "
                                                   "Chromatik V")
                                        : why);
            return plan;
        }
        plan.candidates = {*chosen};
    }
    if (plan.candidates.isEmpty()) {
        plan.kind = ResumePlan::Kind::Blocked;
        plan.text = TrCk::tr("The instrument answers only as its boot loader, and no interrupted update of a Chromatik V "
                             "is known here: nothing was sent to it.");
        return plan;
    }
    if (plan.candidates.size() == 1) {
        plan.backup = plan.candidates.front();
        plan.text = TrCk::tr("The instrument answers only as its boot loader. It may be the one of the interrupted "
                             "%1: firmware %2 would be written to it and the settings of %3 restored.")
                        .arg(Describe(plan.backup), plan.backup.toRelease, plan.backup.serial);
    } else {
        plan.text = TrCk::tr("The instrument answers only as its boot loader, and %1 interrupted updates could be "
                             "its own.")
                        .arg(plan.candidates.size());
    }
    return plan;
}

ResumePlan UpdateWorkflow::PlanForPending(const StoredSettings& backup) {
    ResumePlan plan;
    plan.backup = backup;
    const QString release = engine_.FUpdateDevInfo().FirmwareVersion;
    if (!backup.Erased() && release == backup.fromRelease) {
        // Its update stopped before anything was erased: the instrument kept its
        // firmware and its settings, which may have been changed since.
        present_ = engine_.ReadSettingsBackup();
        if (!present_) {
            plan.kind = ResumePlan::Kind::Blocked;
            plan.text = TrCk::tr("The pending settings backup %1 cannot be compared with the instrument's settings: %2")
                            .arg(backup.path, engine_.LastMessage());
            return plan;
        }
        if (SameSettings(backup, present_->version, present_->settings)) {
            plan.kind = ResumePlan::Kind::Settle;
            plan.text = TrCk::tr("The update of %1 to %2 (%3) stopped before anything was erased; the instrument still "
                                 "holds the settings of its backup.")
                            .arg(backup.serial, backup.toRelease, backup.time);
        } else {
            plan.kind = ResumePlan::Kind::Stale;
            plan.text = TrCk::tr("The settings of instrument %1 were changed after the backup of %2, whose update to %3 "
                                 "stopped before anything was erased: the backup is older than the instrument's present "
                                 "settings.")
                            .arg(backup.serial, backup.time, backup.toRelease);
        }
        return plan;
    }
    plan.kind = ResumePlan::Kind::Restore;
    plan.text = TrCk::tr("The settings of instrument %1 from the update of %2 (%3 to %4) are not restored yet: "
                         "they are written back first.")
                    .arg(backup.serial, backup.time, backup.fromRelease, backup.toRelease);
    return plan;
}

ResumePlan UpdateWorkflow::PlanResume(const WorkflowRequest& request) {
    present_.reset();
    const QString folder = engine_.BackupFolder();
    if (folder.isEmpty()) return {};
    if (engine_.InstrumentInBootLoader()) return PlanForBootLoader(folder, request);
    const QString serial = host_.Identity().serial;
    const auto pending = PendingSettingsFor(folder, serial);
    return pending ? PlanForPending(*pending) : ResumePlan{};
}

// Which pending backup belongs to the instrument in its boot loader: it cannot
// tell its serial number, so the technician says it.  "--yes" answers only
// where exactly one backup could be its own.
bool UpdateWorkflow::ChooseCandidate(ResumePlan& plan, const WorkflowRequest& request) {
    if (plan.candidates.size() == 1) {
        if (view_.AskYesAbort(plan.text + "\n\r" + TrCk::tr("Continue?"))) return true;
        Say(TrCk::tr("Nothing was sent to the instrument."));
        return false;
    }
    QStringList answers;
    for (const StoredSettings& b : plan.candidates) answers << Describe(b);
    if (request.assumeYes) {
        Say(plan.text + " " + TrCk::tr("Name its backup with --settings-file: %1.").arg(answers.join(QStringLiteral("; "))));
        return false;
    }
    const int chosen = view_.AskChoice(plan.text + "\n\r" + TrCk::tr("Which update was the instrument's own?"), answers);
    if (chosen < 0 || chosen >= plan.candidates.size()) {
        Say(TrCk::tr("No backup was chosen; nothing was sent to the instrument."));
        return false;
    }
    plan.backup = plan.candidates[chosen];
    return true;
}

bool UpdateWorkflow::Complete(const StoredSettings& b) {
    if (b.source != QLatin1String("catalog")) {
        if (!engine_.OpenBinary(b.source)) {
            Say(TrCk::tr("The firmware file %1 of the interrupted update is gone or incomplete.").arg(b.source));
            return false;
        }
    } else {
        const int index = Firmwares().IndexOfRelease(b.toRelease);
        if (index < 0) {
            Say(TrCk::tr("The catalog holds no firmware %1.").arg(b.toRelease));
            return false;
        }
        Firmwares().SelectFirmware(static_cast<std::uint32_t>(index));
        engine_.DiscardBinary();
        engine_.FillFromCatalog();
    }
    view_.AddMessage(TrCk::tr("Completing the %1.").arg(Describe(b)));
    engine_.SetRecovery(b);
    engine_.SetDeviceInfo(TDeviceInfo{b.deviceCode != 0 ? b.deviceCode : kChromatikVDeviceType, kChromatikVCpuType,
                                      b.fromRelease, b.serial});
    try {
        engine_.Update();
    } catch (const EProgramError& e) {
        last_message_ = e.Message();
        view_.ShowErrorBox(e.Message());
    }
    engine_.SetRecovery(std::nullopt);
    if (engine_.LastResult() != UpdateResult::Succeeded && last_message_.isEmpty())
        last_message_ = engine_.LastMessage();
    return engine_.LastResult() == UpdateResult::Succeeded;
}

// Nothing to write: the backup's settings are on the instrument.
bool UpdateWorkflow::Settle(const StoredSettings& backup) {
    StoredSettings settled = backup;
    settled.state = QString::fromLatin1(backup_state::kRestored);
    settled.restoredTime = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
    QString error;
    if (!WriteStoredSettings(settled.path, settled, &error)) {
        Say(TrCk::tr("The settings backup %1 cannot be marked restored: %2").arg(backup.path, error));
        return false;
    }
    return true;
}

bool UpdateWorkflow::KeepPresentSettings(const StoredSettings& backup) {
    QString error;
    const QString retired = RetireSettingsBackup(backup.path, QStringLiteral("stale"), &error);
    if (retired.isEmpty()) {
        Say(TrCk::tr("The stale settings backup %1 cannot be retired: %2").arg(backup.path, error));
        return false;
    }
    view_.AddMessage(TrCk::tr("The instrument keeps its present settings; the older backup was retired to %1.").arg(retired));
    return true;
}

bool UpdateWorkflow::Resume(const ResumePlan& plan, const WorkflowRequest& request) {
    last_message_.clear();
    switch (plan.kind) {
        case ResumePlan::Kind::None: return true;
        case ResumePlan::Kind::Blocked: Say(plan.text); return false;
        case ResumePlan::Kind::Restore:
            view_.AddMessage(plan.text);
            if (engine_.RestoreStoredSettings(plan.backup)) return true;
            last_message_ = engine_.LastMessage();
            return false;
        case ResumePlan::Kind::Settle: view_.AddMessage(plan.text); return Settle(plan.backup);
        case ResumePlan::Kind::Stale: {
            view_.AddMessage(plan.text);
            int answer = request.restoreStale ? 1 : 0;
            if (!request.restoreStale && !request.assumeYes) {
                answer = view_.AskChoice(plan.text, {TrCk::tr("Keep the instrument's present settings (the backup is retired)"),
                                                     TrCk::tr("Write the backup of %1 back").arg(plan.backup.time)});
                if (answer < 0) answer = 0;  // no answer keeps what the instrument holds
            }
            if (answer == 0) return KeepPresentSettings(plan.backup);
            if (engine_.RestoreStoredSettings(plan.backup)) return true;
            last_message_ = engine_.LastMessage();
            return false;
        }
        case ResumePlan::Kind::Complete: {
            ResumePlan chosen = plan;
            if (!ChooseCandidate(chosen, request)) return false;
            return Complete(chosen.backup);
        }
    }
    return false;
}

// --- Run ---

bool UpdateWorkflow::Run(const WorkflowRequest& request) {
    switch (Prepare(request)) {
        case Next::Done: return true;
        case Next::Stop: return false;
        case Next::Update: break;
    }
    engine_.Show();
    engine_.Run();
    return engine_.LastResult() == UpdateResult::Succeeded;
}

UpdateWorkflow::Next UpdateWorkflow::Prepare(const WorkflowRequest& request) {
    resumed_ = false;
    resumed_release_.clear();
    last_message_.clear();
    const QString running = RunningUpdate();
    if (!running.isEmpty()) {
        last_message_ = TrCk::tr("Another update is running (%1). Nothing was sent to the instrument.").arg(running);
        view_.ShowErrorBox(last_message_);
        return Next::Stop;
    }
    const ResumePlan plan = PlanResume(request);
    if (plan.kind != ResumePlan::Kind::None) {
        if (!Resume(plan, request)) {
            if (plan.kind != ResumePlan::Kind::Complete && !last_message_.isEmpty()) view_.ShowErrorBox(last_message_);
            return Next::Stop;
        }
        if (plan.kind == ResumePlan::Kind::Complete) {
            resumed_ = true;
            resumed_release_ = engine_.FReleaseNumber();
            return Next::Done;
        }
    }
    const TDeviceInfo info = engine_.FUpdateDevInfo();
    const bool service = engine_.Options().serviceMode;
    if (!request.explicitImage) SelectDefaultImage(info, service);
    engine_.SetDeviceInfo(info);
    // The earlier update is complete and the instrument runs what would be
    // written: that was the update wanted.
    if (plan.kind != ResumePlan::Kind::None && !service && info.FirmwareVersion == engine_.ReleaseToWrite()) {
        resumed_ = true;
        resumed_release_ = info.FirmwareVersion;
        return Next::Done;
    }
    if (info.CpuType != kChromatikVCpuType) {
        // "Run" is offered only to a Chromatik V; say why in the update's own words.
        try {
            engine_.FillFromCatalog();
            engine_.CheckUpdateAllowed();
            last_message_ = TrCk::tr("The instrument did not report its processor type (device type %1).").arg(info.Device);
        } catch (const EProgramError& e) {
            last_message_ = e.Message();
        }
        view_.ShowErrorBox(last_message_);
        return Next::Stop;
    }
    return Next::Update;
}

// --- rollback ---

QString UpdateWorkflow::PrepareRollback(const QString& path, bool otherInstrument) {
    QString why;
    const auto copy = ReadFirmwareBackup(path, &why);
    if (!copy) return why;
    const InstrumentIdentity id = host_.Identity();
    bool own = false;
    if (copy->recorded) {
        own = !copy->serial.isEmpty() && copy->serial == id.serial &&
              (copy->deviceCode == 0 || copy->deviceCode == id.deviceCode) && (copy->cpuType == 0 || copy->cpuType == id.cpuType);
    } else {
        for (const FirmwareBackup& b : FirmwareBackupsOf(QFileInfo(path).absolutePath(), id.serial))
            own = own || b.path == copy->path;
    }
    if (!own && !otherInstrument)
        return TrCk::tr("The firmware backup %1 is of instrument %2 (device type %3), the connected instrument is %4 "
                        "(device type %5): nothing was sent. Writing another instrument's firmware must be confirmed "
                        "explicitly (tolactl rollback --other-instrument).")
            .arg(path, copy->serial.isEmpty() ? TrCk::tr("unknown") : copy->serial)
            .arg(copy->deviceCode)
            .arg(id.Name())
            .arg(id.deviceCode);
    if (!engine_.OpenBinary(path)) return TrCk::tr("The firmware backup %1 is not complete; nothing was sent.").arg(path);
    UpdateOptions options = engine_.Options();
    // Its own copy is firmware it ran before: the same release and the
    // serial-number limits of the rules do not stand in the way.  Another
    // instrument's copy meets every rule.
    options.serviceMode = own;
    options.verifyBeforeHeader = true;
    options.coverEnd = copy->recorded && copy->coverEnd > copy->start ? copy->coverEnd : kFlashSize;
    if (!copy->recorded)
        view_.AddMessage(TrCk::tr("%1 was taken by an earlier version, which copied only the sectors the new firmware "
                                  "replaced: everything after it is erased.")
                             .arg(path));
    engine_.SetOptions(options);
    return QString();
}

}  // namespace ckupdate
