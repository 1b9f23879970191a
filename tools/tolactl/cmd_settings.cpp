// tolactl settings pending | restore | backup | discard: the settings backups
// that keep an instrument's settings safe across a firmware update.
#include "commands.h"
#include "session.h"
#include "update_session.h"

#include "update/firmware/stored_settings.h"

#include <QDateTime>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <iostream>

namespace tolactl {
namespace {

using namespace ckupdate;

struct SettingsOptionsCli {
    ConnectOptions connect;
    std::string backup_dir;
    std::string file;
    std::string out;
    std::string serial;
    bool yes = false;
    bool json = false;
};

void print_backup(const StoredSettings& b, bool json) {
    if (json) {
        const QJsonObject o{{"serial", b.serial}, {"time", b.time},   {"from", b.fromRelease}, {"to", b.toRelease},
                            {"state", b.state},   {"phase", b.phase}, {"port", b.port},        {"file", b.path}};
        std::cout << QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString() << '\n';
        return;
    }
    std::cout << b.serial.toStdString() << "  " << b.time.toStdString() << "  " << b.fromRelease.toStdString()
              << " -> " << (b.toRelease.isEmpty() ? std::string("-") : b.toRelease.toStdString()) << "  "
              << b.phase.toStdString() << "  " << b.path.toStdString() << '\n';
}

void print_damaged(const DamagedSettings& d, bool json) {
    if (json) {
        const QJsonObject o{{"serial", d.serial}, {"state", "damaged"}, {"reason", d.reason}, {"file", d.path}};
        std::cout << QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString() << '\n';
        return;
    }
    std::cout << (d.serial.isEmpty() ? std::string("?") : d.serial.toStdString()) << "  DAMAGED (" << d.reason.toStdString()
              << ")  " << d.path.toStdString() << '\n';
}

int list_pending(const SettingsOptionsCli& o) {
    const QString folder = backup_folder(o.backup_dir);
    const SettingsBackupScan scan = ScanSettingsBackups(folder);
    if (scan.pending.isEmpty() && scan.damaged.isEmpty() && !o.json)
        std::cout << "no pending settings backups in " << folder.toStdString() << '\n';
    for (const StoredSettings& b : scan.pending) print_backup(b, o.json);
    for (const DamagedSettings& d : scan.damaged) print_damaged(d, o.json);
    if (!scan.damaged.isEmpty() && !o.json)
        std::cout << "A damaged backup may be the only copy of an instrument's settings: check it, then retire it "
                     "with \"tolactl settings discard --file FILE\".\n";
    return 0;
}

int restore(const SettingsOptionsCli& o) {
    UpdateSession s({o.json, o.yes}, o.connect, std::string(), o.backup_dir);
    s.GuardInterrupts();
    s.RefuseDuringUpdate();
    std::optional<StoredSettings> backup;
    if (!o.file.empty()) {
        QString error;
        backup = ReadStoredSettings(QString::fromStdString(o.file), &error);
        if (!backup) throw Failure("the settings backup " + o.file + " is refused: " + error.toStdString(), 1);
    }
    s.Connect();
    const TDeviceInfo info = s.connection.DevInfo();
    if (s.engine.InstrumentInBootLoader())
        throw Failure("the instrument answers only as its boot loader: run tolactl update to complete its update", 1);
    if (!backup) backup = PendingSettingsFor(s.options.backupFolder, info.Serial);
    if (!backup)
        throw Failure("no pending settings backup of instrument " + info.Serial.toStdString() + " in " +
                          s.options.backupFolder.toStdString(),
                      1);
    // The identity block carries the serial number: another instrument's
    // backup would give this one a wrong identity.
    if (backup->serial != info.Serial || backup->serial.isEmpty())
        throw Failure("the backup is of instrument " + backup->serial.toStdString() + ", the connected one is " +
                          info.Serial.toStdString() + "; nothing was written",
                      1);
    if (!o.yes && !confirm("Write the settings of " + backup->time.toStdString() + " (firmware " +
                           backup->fromRelease.toStdString() + ") back to instrument " + info.Serial.toStdString() +
                           "?"))
        return 1;
    s.engine.SetDeviceInfo(info);
    if (!s.engine.RestoreStoredSettings(*backup)) {
        s.view->ShowErrorBox(s.engine.LastMessage());
        return 1;
    }
    std::cout << "settings of " << info.Serial.toStdString() << " restored from " << backup->path.toStdString()
              << '\n';
    return 0;
}

int save(const SettingsOptionsCli& o) {
    UpdateSession s({o.json, true}, o.connect, std::string(), o.backup_dir);
    s.engine.SetOptions(s.options);
    s.RefuseDuringUpdate();
    s.Connect();
    auto backup = s.engine.ReadSettingsBackup();
    if (!backup) throw Failure("the settings cannot be read: " + s.engine.LastMessage().toStdString(), 1);
    // Never the file of an update's backup: that one may be pending.
    const QString path = !o.out.empty() ? QString::fromStdString(o.out)
                                        : s.options.backupFolder + "/" +
                                              QFileInfo(StoredSettingsPath(s.options.backupFolder, backup->serial)).baseName() +
                                              QDateTime::currentDateTime().toString(QStringLiteral("-yyyyMMdd-HHmmss")) +
                                              ".json";
    QString error;
    if (!WriteStoredSettings(path, *backup, &error))
        throw Failure("the settings backup " + path.toStdString() + " cannot be written: " + error.toStdString(), 1);
    std::cout << "settings of " << backup->serial.toStdString() << " saved in " << path.toStdString() << '\n';
    return 0;
}

// Retires a pending or damaged backup on purpose: it is moved into retired/,
// never deleted, and is no longer written back by any update.
int discard(const SettingsOptionsCli& o) {
    refuse_during_update();
    const QString folder = backup_folder(o.backup_dir);
    QString path;
    std::string what;
    if (!o.file.empty()) {
        path = QFileInfo(QString::fromStdString(o.file)).absoluteFilePath();
        what = "the settings backup " + path.toStdString();
    } else {
        const auto pending = PendingSettingsFor(folder, QString::fromStdString(o.serial));
        if (!pending) throw Failure("no pending settings backup of instrument " + o.serial + " in " + folder.toStdString(), 1);
        path = pending->path;
        what = "the pending settings backup of instrument " + o.serial + " (" + pending->time.toStdString() + ", " +
               pending->fromRelease.toStdString() + " -> " + pending->toRelease.toStdString() + ")";
    }
    if (!QFileInfo::exists(path)) throw Failure("no file " + path.toStdString(), 1);
    if (!o.yes && !confirm("Retire " + what + "? No update will write it back any more.")) return 1;
    QString error;
    const QString retired = RetireSettingsBackup(path, QStringLiteral("discarded"), &error);
    if (retired.isEmpty()) throw Failure(error.toStdString(), 1);
    std::cout << "retired " << path.toStdString() << " to " << retired.toStdString() << '\n';
    return 0;
}

}  // namespace

void add_settings_commands(CLI::App& app) {
    auto o = std::make_shared<SettingsOptionsCli>();
    CLI::App* settings = app.add_subcommand("settings", "the instrument's settings backups (update safety)");
    settings->require_subcommand(1);
    settings->add_option("--backup-dir", o->backup_dir,
                         "folder of the settings backups (default: settings-backups in the application data folder)");

    CLI::App* pending = settings->add_subcommand("pending", "list the settings backups not yet restored, and damaged ones");
    pending->add_flag("--json", o->json, "one JSON object per backup");
    pending->callback([o] { list_pending(*o); });

    CLI::App* restore_cmd = settings->add_subcommand(
        "restore", "write the pending backup of the connected instrument (or FILE) back, store and check it");
    restore_cmd->add_option("--file", o->file, "a settings backup file instead of the pending one");
    restore_cmd->add_flag("--yes", o->yes, "do not ask");
    add_connect_options(*restore_cmd, o->connect);
    restore_cmd->callback([o] {
        if (const int code = restore(*o); code != 0) throw CLI::RuntimeError(code);
    });

    CLI::App* backup_cmd = settings->add_subcommand("backup", "save the connected instrument's settings to a file");
    backup_cmd->add_option("--out", o->out, "the file (default: in the backup folder, named by serial and time)");
    add_connect_options(*backup_cmd, o->connect);
    backup_cmd->callback([o] { save(*o); });

    CLI::App* discard_cmd = settings->add_subcommand(
        "discard", "retire a pending or damaged backup on purpose (moved to retired/, never written back)");
    auto* serial = discard_cmd->add_option("--serial", o->serial, "the pending backup of this instrument");
    discard_cmd->add_option("--file", o->file, "this backup file (also one set aside as damaged)")->excludes(serial);
    discard_cmd->add_flag("--yes", o->yes, "do not ask");
    discard_cmd->callback([o] {
        if (o->serial.empty() && o->file.empty()) throw CLI::ValidationError("discard", "give --serial or --file");
        if (const int code = discard(*o); code != 0) throw CLI::RuntimeError(code);
    });
}

}  // namespace tolactl
