// tolactl rollback: writes the firmware an earlier update replaced back to the
// instrument, through the same engine as an update (settings backup, verify,
// restart wait, settings restore, history), kept to the same instrument and
// guarded against Ctrl-C as an update is.  The instrument's own copy is written
// with the service-mode rules (the release may be older or the same); another
// instrument's copy only when the technician says so explicitly.
#include "commands.h"
#include "session.h"
#include "update_session.h"

#include "update/firmware/firmware_backup.h"

#include <iostream>

namespace tolactl {
namespace {

using namespace ckupdate;

struct RollbackOptionsCli {
    std::string file;
    ConnectOptions connect;
    std::string backup_dir;
    std::string history;
    bool yes = false;
    bool json = false;
    bool backup = false;
    bool other_instrument = false;
};

// A copy that does not match its checksum is refused before anything is sent.
QString checked_copy(const QString& folder, const QString& serial, const QString& file) {
    QString why;
    const QString path = RollbackCopy(folder, serial, file, &why);
    if (path.isEmpty()) throw Failure(why.toStdString() + "; nothing was sent to the instrument", 1);
    return path;
}

int rollback(const RollbackOptionsCli& o) {
    UpdateSession s({o.json, o.yes}, o.connect, o.history, o.backup_dir);
    // The firmware being rolled back is not copied unless asked for: a copy
    // would become the newest backup and push out the one wanted back.
    s.options.firmwareBackupUsb = s.options.firmwareBackupBluetooth = o.backup;
    s.GuardInterrupts();
    s.RefuseDuringUpdate();

    const QString file = QString::fromStdString(o.file);
    if (!file.isEmpty()) checked_copy(QString(), QString(), file);

    s.Connect();
    const TDeviceInfo info = s.connection.DevInfo();
    if (s.engine.InstrumentInBootLoader())
        throw Failure("the instrument answers only as its boot loader: run tolactl update to complete its update", 1);
    s.engine.SetDeviceInfo(info);
    const QString path = checked_copy(s.engine.FirmwareBackupFolder(), info.Serial, file);
    const QString refused = s.workflow.PrepareRollback(path, o.other_instrument);
    if (!refused.isEmpty()) throw Failure(terminal_text(refused), 1);
    const std::string question = "Write firmware " + s.engine.FReleaseNumber().toStdString() + " from " +
                                 path.toStdString() + " back to instrument " + info.Serial.toStdString() +
                                 " (now " + info.FirmwareVersion.toStdString() + ")?";
    if (!o.yes && !confirm(question)) return 1;

    s.engine.Show();
    if (!o.json)
        std::cout << "rolling back " << info.Serial.toStdString() << ": " << info.FirmwareVersion.toStdString()
                  << "  ->  " << s.engine.FReleaseNumber().toStdString() << '\n';
    s.engine.Run();
    const UpdateRecord& r = s.engine.LastRecord();
    if (o.json)
        json_event("\"event\":\"end\",\"result\":" + json_string(r.result) + ",\"from\":" + json_string(r.fromRelease) +
                   ",\"to\":" + json_string(r.toRelease) + ",\"file\":" + json_string(path));
    else if (!r.result.isEmpty())
        std::cout << "result: " << r.result.toStdString() << " (" << r.durationMs / 1000 << " s)\n";
    return s.engine.LastResult() == UpdateResult::Succeeded ? 0 : 1;
}

}  // namespace

void add_rollback_command(CLI::App& app) {
    auto o = std::make_shared<RollbackOptionsCli>();
    CLI::App* cmd = app.add_subcommand(
        "rollback", "write the newest firmware backup of the connected instrument (or FILE) back to it");
    cmd->add_option("--file", o->file, "a firmware backup instead of the newest of this instrument")
        ->check(CLI::ExistingFile);
    cmd->add_flag("--yes", o->yes, "do not ask");
    cmd->add_flag("--other-instrument", o->other_instrument,
                  "write a backup of another instrument (serial number or model) to this one, under the update rules");
    add_connect_options(*cmd, o->connect);
    cmd->add_flag("--json", o->json, "one JSON event per line");
    cmd->add_flag("--backup", o->backup, "copy the firmware being replaced first, as an update does");
    cmd->add_option("--history", o->history, "update history file (default: in the application data folder)");
    cmd->add_option("--backup-dir", o->backup_dir,
                    "folder of the settings backups; the firmware backups are beside it (default: the application "
                    "data folder)");
    cmd->callback([o] {
        if (const int code = rollback(*o); code != 0) throw CLI::RuntimeError(code);
    });
}

}  // namespace tolactl
