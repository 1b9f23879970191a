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

// Puts the image of an interrupted update back into the engine's buffer.
void select_backup_image(TCkUpdateEngine& engine, const StoredSettings& b) {
    if (b.source != QLatin1String("catalog")) {
        if (!engine.OpenBinary(b.source))
            throw Failure("the firmware file " + b.source.toStdString() + " of the interrupted update is gone or incomplete", 1);
        return;
    }
    const int index = Firmwares().IndexOfRelease(b.toRelease);
    if (index < 0) throw Failure("the catalog holds no firmware " + b.toRelease.toStdString(), 1);
    Firmwares().SelectFirmware(static_cast<std::uint32_t>(index));
    engine.DiscardBinary();
}

// An instrument that answers only as its boot loader: an update was interrupted
// while programming.  Its pending settings backup names the firmware to write.
int recover_from_boot_loader(UpdateSession& s) {
    QVector<StoredSettings> pending = PendingSettings(s.options.backupFolder);
    if (pending.size() != 1)
        throw Failure(pending.isEmpty()
                          ? "the instrument answers only as its boot loader, and no interrupted update is known here"
                          : "the instrument answers only as its boot loader, and several interrupted updates are "
                            "pending: restore the others first (tolactl settings pending)",
                      1);
    const StoredSettings& b = pending.front();
    select_backup_image(s.engine, b);
    if (!s.view_options.json)
        std::cout << "The instrument is in its boot loader: completing the update of " << b.serial.toStdString()
                  << " to " << b.toRelease.toStdString() << " (settings from " << b.time.toStdString() << ")\n";
    s.engine.SetRecovery(b);
    s.engine.SetDeviceInfo(TDeviceInfo{5324, 3, b.fromRelease, b.serial});
    try {
        s.engine.Update();
    } catch (const EProgramError& e) {
        s.view->ShowErrorBox(e.Message());
    }
    print_end(s.view_options, s.engine);
    return s.engine.LastResult() == UpdateResult::Succeeded ? 0 : 1;
}

int run_update(const UpdateOptionsCli& o) {
    UpdateSession s({o.json, o.yes}, o.port, o.history, o.backup_dir);
    tola::os::InterruptGuard guard;
    s.options.serviceMode = o.service;
    s.options.verifyBeforeHeader = !o.no_verify;
    s.options.abortRequested = [&] {
        guard.SetRemainingSeconds(s.engine.FTimeRemainMs / 1000);
        return guard.AbortRequested();
    };
    s.options.criticalPhase = [&](bool critical) {
        guard.SetRemainingSeconds(s.engine.FTimeRemainMs / 1000);
        if (critical) guard.Enter();
        else guard.Leave();
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
    if (s.engine.InstrumentInBootLoader()) return recover_from_boot_loader(s);
    const TDeviceInfo info = s.connection.DevInfo();
    s.engine.SetDeviceInfo(info);

    // Settings left behind by an earlier update go back first: a new backup
    // must never replace them with what the instrument holds now.
    if (auto pending = PendingSettingsFor(s.options.backupFolder, info.Serial)) {
        if (!o.json)
            std::cout << "Settings of " << info.Serial.toStdString() << " from the update of "
                      << pending->time.toStdString() << " (" << pending->fromRelease.toStdString() << " -> "
                      << pending->toRelease.toStdString() << ") are not restored yet: restoring them first\n";
        if (!s.engine.RestoreStoredSettings(*pending)) {
            s.view->ShowErrorBox(s.engine.LastMessage());
            return 1;
        }
        if (!o.json) std::cout << "Settings restored from " << pending->path.toStdString() << "\n";
        if (!o.service && o.file.empty() && o.image.empty() && info.FirmwareVersion == pending->toRelease) {
            if (!o.json) std::cout << "The update to " << pending->toRelease.toStdString() << " is complete.\n";
            else json_event("\"event\":\"end\",\"result\":\"succeeded\",\"restored\":true");
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
