// tolactl update, catalog, history: a complete firmware update of a Chromatik V
// through the program's own update engine.
#include "commands.h"
#include "update/binding/linked_functions.h"
#include "session.h"
#include "update_session.h"
#include "update_views.h"

#include "platform/interrupt_guard.h"

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

struct UpdateOptionsCli {
    std::string image;
    std::string file;
    bool service = false;
    std::string port = "usb";
    bool json = false;
    bool yes = false;
    bool no_verify = false;
    std::string history;
    std::string backup_dir;
    bool backup = false;
    bool no_backup = false;
};

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

int run_update(const UpdateOptionsCli& o) {
    UpdateSession s({o.json, o.yes}, o.port, o.history, o.backup_dir);
    tola::os::InterruptGuard guard;
    s.options.serviceMode = o.service;
    s.options.verifyBeforeHeader = !o.no_verify;
    // Without either flag: always over USB, over Bluetooth as the program's setting says.
    if (o.backup) s.options.firmwareBackupUsb = s.options.firmwareBackupBluetooth = true;
    if (o.no_backup) s.options.firmwareBackupUsb = s.options.firmwareBackupBluetooth = false;
    s.options.abortRequested = [&] {
        guard.SetRemainingSeconds(s.engine.FTimeRemainMs / 1000);
        return guard.AbortRequested();
    };
    s.options.criticalPhase = [&](bool critical) {
        guard.SetRemainingSeconds(s.engine.FTimeRemainMs / 1000);
        if (critical) guard.Enter();
        else guard.Leave();
        // A caller that watches the stream learns when the update must not be
        // stopped (the Python package waits through it instead of timing out).
        if (o.json) json_event(std::string("\"event\":\"critical\",\"critical\":") + (critical ? "true" : "false"));
    };
    s.engine.SetOptions(s.options);
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
    TDeviceInfo info = s.connection.DevInfo();
    s.engine.SetDeviceInfo(info);

    // What an earlier update left unfinished is finished first: its settings go
    // back before a new backup could replace them with what the instrument holds
    // now, and an instrument left in its boot loader gets its firmware again.
    const TCkUpdateEngine::ResumePlan plan = s.engine.PlanResume();
    if (plan.kind != TCkUpdateEngine::ResumePlan::Kind::None) {
        if (!o.json) std::cout << terminal_text(plan.text) << '\n';
        const bool resumed = s.engine.Resume(plan);
        if (!resumed) {
            if (plan.kind != TCkUpdateEngine::ResumePlan::Kind::Complete) s.view->ShowErrorBox(s.engine.LastMessage());
            print_end(s.view_options, s.engine);
            return 1;
        }
        const bool explicit_image = !o.file.empty() || !o.image.empty();
        if (plan.kind == TCkUpdateEngine::ResumePlan::Kind::Complete || (!o.service && !explicit_image && info.FirmwareVersion == plan.backup.toRelease)) {
            if (!o.json) std::cout << "The update to " << plan.backup.toRelease.toStdString() << " is complete.\n";
            else json_event("\"event\":\"end\",\"result\":\"succeeded\",\"resumed\":true,\"to\":" + json_string(plan.backup.toRelease));
            return 0;
        }
    }

    if (o.file.empty() && o.image.empty()) Firmwares().ChooseVariant(info.FirmwareVersion, o.service);
    s.engine.SetDeviceInfo(info);
    s.engine.Show();
    if (!s.view_options.json)
        std::cout << terminal_text(s.engine.VersionLine1()) << "  ->  " << terminal_text(s.engine.VersionLine2())
                  << " (" << to_utf8(s.connection.PortData().snDevice) << ", serial "
                  << to_utf8(s.connection.PortData().snSerial_number) << ")\n";

    if (info.CpuType == 3) {
        s.engine.Run();
    } else {
        // "Run" is offered only to a Chromatik V; say why in the update's own words.
        try {
            s.engine.FillFromCatalog();
            s.engine.CheckUpdateAllowed();
            s.view->ShowErrorBox(QStringLiteral("The instrument did not report its processor type (device type %1).")
                                     .arg(info.Device));
        } catch (const EProgramError& e) {
            s.view->ShowErrorBox(e.Message());
        }
    }
    print_end(s.view_options, s.engine);
    return s.engine.LastResult() == UpdateResult::Succeeded ? 0 : 1;
}

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
    update->add_option("--port", options->port, "usb or bt")->check(CLI::IsMember({"usb", "bt"}))->capture_default_str();
    update->add_flag("--json", options->json, "one JSON event per line");
    update->add_flag("--yes", options->yes, "answer the Portivo/Superna question with Yes");
    update->add_flag("--no-verify", options->no_verify, "do not read the flash back before the header block");
    CLI::Option* backup = update->add_flag(
        "--backup", options->backup, "copy the firmware being replaced first (default over USB; over Bluetooth: the setting)");
    update->add_flag("--no-backup", options->no_backup, "do not copy the firmware being replaced")->excludes(backup);
    update->add_option("--history", options->history, "update history file (default: in the application data folder)");
    update->add_option("--backup-dir", options->backup_dir,
                       "folder of the settings backups (default: settings-backups in the application data folder)");
    update->callback([options] {
        if (!options->image.empty() && !options->file.empty())
            throw CLI::ValidationError("--image and --file", "give one of them");
        const int code = run_update(*options);
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
