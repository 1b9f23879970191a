// tolactl update, catalog, history: a complete firmware update of a Chromatik V
// through the program's own update engine.
#include "commands.h"
#include "update/binding/linked_functions.h"
#include "session.h"
#include "update_session.h"
#include "update_views.h"
#include "update_command.h"

#include "update/firmware/ck_update_engine.h"
#include "update/firmware/firmware_catalog.h"
#include "update/firmware/stored_settings.h"
#include "update/firmware/update_history.h"
#include "update/program_clock.h"
#include "update/device/device_connection.h"

#include <QJsonDocument>

#include <chrono>
#include <cstring>
#include <iostream>
#include <thread>

namespace tolactl {
namespace {

using namespace ckupdate;



void print_end(const ViewOptions& view, const TCkUpdateEngine& engine) {
    const UpdateRecord& r = engine.LastRecord();
    if (view.json) {
        json_event("\"event\":\"end\",\"result\":" + json_string(r.result) + ",\"step\":" + std::to_string(r.step) +
                   ",\"from\":" + json_string(r.fromRelease) + ",\"to\":" + json_string(r.toRelease) +
                   ",\"duration_ms\":" + std::to_string(r.durationMs));
    } else if (!r.result.isEmpty()) {
        std::cout << "result: " << r.result.toStdString() << " (" << r.durationMs / 1000 << " s)\n";
    }
}

}  // namespace

int select_image(const std::string& image) {
    TFirmwares& catalog = Firmwares();
    int index = catalog.IndexOfRelease(QString::fromStdString(image));
    if (index < 0) {
        try {
            std::size_t used = 0;
            const int n = std::stoi(image, &used);
            if (used == image.size() && n >= 0 && n < static_cast<int>(catalog.count)) index = n;
        } catch (const std::exception&) {
        }
    }
    return index;
}

int run_update(const UpdateOptionsCli& o, UpdateRecord* last) {
    UpdateSession s({o.json, o.yes}, o.connect, o.history, o.backup_dir);
    s.options.serviceMode = o.service;
    s.options.verifyBeforeHeader = !o.no_verify;
    // Without either flag: always over USB, over Bluetooth as the program's setting says.
    if (o.backup) s.options.firmwareBackupUsb = s.options.firmwareBackupBluetooth = true;
    if (o.no_backup) s.options.firmwareBackupUsb = s.options.firmwareBackupBluetooth = false;
    s.GuardInterrupts();
    // Nothing goes to the instrument while another update runs.
    s.RefuseDuringUpdate();

    // The image is checked before anything goes to the instrument.
    if (!o.file.empty()) {
        if (!s.engine.OpenBinary(QString::fromStdString(o.file))) {
            std::cerr << "tolactl: the firmware file " << o.file << " is not complete; nothing was sent\n";
            return 1;
        }
    } else if (!o.image.empty()) {
        const int index = select_image(o.image);
        if (index < 0) throw CLI::ValidationError("--image", "no catalog entry '" + o.image + "' (see tolactl catalog)");
        Firmwares().SelectFirmware(static_cast<std::uint32_t>(index));
    }

    s.Connect();
    s.engine.SetDeviceInfo(s.connection.DevInfo());

    WorkflowRequest request;
    request.explicitImage = !o.file.empty() || !o.image.empty();
    request.assumeYes = o.yes;
    request.restoreStale = o.restore_stale;
    request.settingsFile = QString::fromStdString(o.settings_file);
    switch (s.workflow.Prepare(request)) {
        case UpdateWorkflow::Next::Stop:
            print_end(s.view_options, s.engine);
            if (last != nullptr) *last = s.engine.LastRecord();
            return 1;
        case UpdateWorkflow::Next::Done:
            if (!o.json) std::cout << "The update to " << s.workflow.ResumedRelease().toStdString() << " is complete.\n";
            else json_event("\"event\":\"end\",\"result\":\"succeeded\",\"resumed\":true,\"to\":" +
                            json_string(s.workflow.ResumedRelease()));
            if (last != nullptr) {
                *last = s.engine.LastRecord();
                last->result = QStringLiteral("succeeded");
                last->toRelease = s.workflow.ResumedRelease();
            }
            return 0;
        case UpdateWorkflow::Next::Update: break;
    }
    s.engine.Show();
    if (!s.view_options.json)
        std::cout << terminal_text(s.engine.VersionLine1()) << "  ->  " << terminal_text(s.engine.VersionLine2())
                  << " (" << to_utf8(s.connection.PortData().snDevice) << ", serial "
                  << to_utf8(s.connection.PortData().snSerial_number) << ")\n";
    s.engine.Run();
    print_end(s.view_options, s.engine);
    if (last != nullptr) *last = s.engine.LastRecord();
    return s.engine.LastResult() == UpdateResult::Succeeded ? 0 : 1;
}

namespace {

int print_catalog(bool json) {
    const TFirmwares& catalog = Firmwares();
    for (std::uint32_t i = 0; i < catalog.count; ++i) {
        const TSingleFirmware& f = catalog.Firmware[i];
        if (json) {
            json_event("\"index\":" + std::to_string(i) + ",\"release\":" + json_string(f.snCK_firmware_release) +
                       ",\"date\":" + json_string(f.snCK_firmware_date) + ",\"size\":" +
                       std::to_string(f.N_FDATASIZE) + ",\"default\":" + (i == catalog.Default ? "true" : "false"));
        } else {
            std::printf("%2u%s %-32s %7u bytes\n", i, i == catalog.Default ? "*" : " ",
                        catalog.Version[static_cast<qsizetype>(i)].toStdString().c_str(), f.N_FDATASIZE);
        }
    }
    return 0;
}

int print_history(const std::string& file, bool json) {
    const QString path = file.empty() ? DefaultHistoryFile() : QString::fromStdString(file);
    const auto records = ReadUpdateHistory(path);
    if (records.isEmpty() && !json) std::cout << "no updates recorded in " << path.toStdString() << '\n';
    for (const UpdateRecord& r : records) {
        if (json) {
            json_event(QJsonDocument(r.ToJson()).toJson(QJsonDocument::Compact).mid(1).chopped(1).toStdString());
        } else {
            std::printf("%s  %-10s %-8s -> %-8s %-10s step %d  %6.1f s  %s%s\n", r.time.toStdString().c_str(),
                        r.serial.toStdString().c_str(), r.fromRelease.toStdString().c_str(),
                        r.toRelease.toStdString().c_str(), r.result.toStdString().c_str(), r.step,
                        static_cast<double>(r.durationMs) / 1000.0, r.port.toStdString().c_str(),
                        r.message.isEmpty() ? "" : ("  " + terminal_text(r.message)).c_str());
        }
    }
    return 0;
}

}  // namespace

void add_update_commands(CLI::App& app) {
    auto options = std::make_shared<UpdateOptionsCli>();
    CLI::App* update = app.add_subcommand("update", "update the firmware of a Chromatik V");
    update->add_option("--image", options->image, "catalog entry: release (e.g. 512bLE) or index (see catalog)");
    update->add_option("--file", options->file, "external firmware file instead of a catalog entry")
        ->check(CLI::ExistingFile);
    update->add_flag("--service", options->service, "service mode: same release again, no serial-number limits");
    add_connect_options(*update, options->connect, false);
    update->add_option("--serial", options->serials,
                       "only the instrument with this serial number; given more than once, each of them in turn");
    update->add_flag("--all", options->all,
                                        "every USB instrument an update applies to, one after another");
    update->add_flag("--keep-going", options->keep_going,
                     "with --all or several --serial: go on with the next instrument after a failure")
;
    update->add_flag("--json", options->json, "one JSON event per line");
    update->add_flag("--yes", options->yes, "answer the Portivo/Superna question with Yes");
    update->add_flag("--no-verify", options->no_verify, "do not read the flash back before the header block");
    CLI::Option* backup = update->add_flag(
        "--backup", options->backup, "copy the firmware being replaced first (default over USB; over Bluetooth: the setting)");
    update->add_flag("--no-backup", options->no_backup, "do not copy the firmware being replaced")->excludes(backup);
    update->add_option("--history", options->history, "update history file (default: in the application data folder)");
    update->add_flag("--restore-stale", options->restore_stale,
                     "write back a pending backup even when the instrument's settings changed since (its update "
                     "stopped before anything was erased); without it the instrument keeps its present settings");
    update->add_option("--settings-file", options->settings_file,
                       "the pending backup that belongs to an instrument found in its boot loader, when several could")
        ->check(CLI::ExistingFile);
    update->add_option("--backup-dir", options->backup_dir,
                       "folder of the settings backups (default: settings-backups in the application data folder)");
    update->callback([options] {
        if (!options->image.empty() && !options->file.empty())
            throw CLI::ValidationError("--image and --file", "give one of them");
        if (options->all && !options->serials.empty()) throw CLI::ValidationError("--all and --serial", "give one of them");
        const bool fleet = options->all || options->serials.size() > 1;
        if (options->keep_going && !fleet)
            throw CLI::ValidationError("--keep-going", "only with --all or several --serial");
        if (!fleet && !options->serials.empty()) options->connect.serial = options->serials.front();
        const int code = fleet ? run_fleet(*options) : run_update(*options);
        if (code != 0) throw CLI::RuntimeError(code);
    });

    auto json = std::make_shared<bool>(false);
    CLI::App* catalog = app.add_subcommand("catalog", "list the built-in firmware images (* default)");
    catalog->add_flag("--json", *json, "one JSON object per entry");
    catalog->callback([json] { print_catalog(*json); });

    auto history_file = std::make_shared<std::string>();
    auto history_json = std::make_shared<bool>(false);
    CLI::App* history = app.add_subcommand("history", "the recorded update attempts");
    history->add_option("--file", *history_file, "history file (default: in the application data folder)");
    history->add_flag("--json", *history_json, "the records as JSON lines");
    history->callback([history_file, history_json] { print_history(*history_file, *history_json); });
}

}  // namespace tolactl
