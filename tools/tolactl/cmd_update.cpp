// tolactl update, catalog, history: a complete firmware update of a Chromatik V
// through the program's own update engine.
#include "commands.h"
#include "update/binding/linked_functions.h"
#include "session.h"
#include "update_views.h"

#include "update/firmware/ck_update_engine.h"
#include "update/firmware/firmware_catalog.h"
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
};

// The main window's part of the update, for a command line.
class CliHost final : public UpdateHost {
public:
    explicit CliHost(TDeviceConnection& connection) : connection_(connection) {}
    PXM_COMM& PortData() override { return connection_.PortData(); }
    std::int32_t OpenDev() override { return connection_.OpenDev(); }
    void CloseDev() override { connection_.CloseDev(); }
    void SetUSBWatchIdle(bool idle) override { connection_.SetUSBWatchIdle(idle); }

private:
    TDeviceConnection& connection_;
};

// Opens the instrument as the program's connection thread does, calling OpenDev
// until it reports the instrument connected or a failure.
bool connect(TDeviceConnection& connection, std::uint32_t port, std::string& why) {
    connection.PortData().iPort = port;
    if (port == kPortBluetooth) {
        const std::string address = selected_device();
        if (address.empty()) {
            why = "no Bluetooth instrument selected: use bt-scan and bt-select";
            return false;
        }
        BT_DEVICE device{};
        std::snprintf(device.snBtAddress, sizeof device.snBtAddress, "%s", address.c_str());
        connection.Api().CK_comm_BtSetDevice(&device);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
        const std::int32_t r = connection.OpenDev();
        if (r == 1) return true;
        if ((r != 2 && r != 0) || std::chrono::steady_clock::now() > deadline) {
            why = to_utf8(connection.PortData().ssStatus);
            if (why.empty()) why = "no answer";
            connection.CloseDev();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

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
    const std::uint32_t port = o.port == "bt" ? kPortBluetooth : kPortUsb;
    const ViewOptions view_options{o.json, o.yes};
    auto view = make_update_view(view_options);
    CommApi api(&ckupdate::LinkedCommFunctions());
    TDeviceConnection connection(api);
    CliHost host(connection);
    TCkUpdateEngine engine(api, host, *view);
    UpdateOptions options;
    options.serviceMode = o.service;
    options.verifyBeforeHeader = !o.no_verify;
    options.historyFile = o.history.empty() ? DefaultHistoryFile() : QString::fromStdString(o.history);
    engine.SetOptions(options);

    // The image is checked before anything goes to the instrument.
    if (!o.file.empty()) {
        if (!engine.OpenBinary(QString::fromStdString(o.file))) {
            std::cerr << "tolactl: the firmware file " << o.file << " is not complete; nothing was sent\n";
            return 1;
        }
    } else if (!o.image.empty()) {
        const int index = select_image(o.image);
        if (index < 0) throw CLI::ValidationError("--image", "no catalog entry '" + o.image + "' (see tolactl catalog)");
        Firmwares().SelectFirmware(static_cast<std::uint32_t>(index));
    }

    std::string why;
    if (!connect(connection, port, why)) throw Failure("no instrument: " + why, 2);
    const TDeviceInfo& info = connection.DevInfo();
    if (o.file.empty() && o.image.empty()) Firmwares().ChooseVariant(info.FirmwareVersion, o.service);
    engine.SetDeviceInfo(info);
    engine.Show();
    if (!view_options.json)
        std::cout << terminal_text(engine.VersionLine1()) << "  ->  " << terminal_text(engine.VersionLine2()) << " ("
                  << to_utf8(connection.PortData().snDevice) << ", serial "
                  << to_utf8(connection.PortData().snSerial_number) << ")\n";

    if (info.CpuType == 3) {
        engine.Run();
    } else {
        // "Run" is offered only to a Chromatik V; say why in the update's own words.
        try {
            engine.FillFromCatalog();
            engine.CheckUpdateAllowed();
            view->ShowErrorBox(QStringLiteral("The instrument did not report its processor type (device type %1).")
                                   .arg(info.Device));
        } catch (const EProgramError& e) {
            view->ShowErrorBox(e.Message());
        }
    }
    print_end(view_options, engine);
    connection.CloseDev();
    return engine.LastResult() == UpdateResult::Succeeded ? 0 : 1;
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
