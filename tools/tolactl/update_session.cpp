#include "update_session.h"

#include "commands.h"
#include "session.h"

#include "update/binding/linked_functions.h"
#include "update/firmware/stored_settings.h"
#include "update/firmware/update_history.h"
#include "update/firmware/update_lock.h"
#include "update/config/settings_store.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <thread>

namespace tolactl {

using namespace ckupdate;

QString backup_folder(const std::string& option) {
    return option.empty() ? DefaultSettingsBackupFolder() : QString::fromStdString(option);
}

void refuse_during_update() {
    const QString running = UpdateLock::RunningUpdate(UpdateLock::DefaultFolder());
    if (!running.isEmpty())
        throw Failure("an update is running (" + running.toStdString() + "); nothing was sent to the instrument", 1);
}

void add_connect_options(CLI::App& cmd, ConnectOptions& options, bool with_serial) {
    cmd.add_option("--port", options.port, "usb or bt")->check(CLI::IsMember({"usb", "bt"}))->capture_default_str();
    if (with_serial) cmd.add_option("--serial", options.serial, "only the instrument with this serial number");
    cmd.add_option("--socket", options.socket, "over USB, only the instrument at this channel socket (e.g. dev1)");
}

bool confirm(const std::string& question) {
    if (!::isatty(STDIN_FILENO)) {
        std::cout << question << "\n(no terminal to answer: nothing written; use --yes)\n";
        return false;
    }
    std::cout << question << " [y/N] " << std::flush;
    std::string answer;
    std::getline(std::cin, answer);
    return answer == "y" || answer == "Y" || answer == "yes";
}

UpdateSession::UpdateSession(const ViewOptions& vo, const ConnectOptions& c, const std::string& history,
                             const std::string& folder)
    : view_options(vo),
      connect(c),
      port(c.port == "bt" ? kPortBluetooth : kPortUsb),
      view(make_update_view(vo)),
      api(&LinkedCommFunctions()),
      connection(api),
      host(connection),
      engine(api, host, *view),
      workflow(engine, host, *view) {
    options.historyFile = history.empty() ? DefaultHistoryFile() : QString::fromStdString(history);
    options.backupFolder = backup_folder(folder);
    const FirmwareBackupOptions backups = ReadFirmwareBackupOptions();
    options.firmwareBackupBluetooth = backups.overBluetooth;
    options.firmwareBackupsKept = backups.kept;
}

UpdateSession::~UpdateSession() { connection.CloseDev(); }

void UpdateSession::RefuseDuringUpdate() const {
    const QString running = UpdateLock::RunningUpdate(engine.LockFolder());
    if (!running.isEmpty())
        throw Failure("an update is running (" + running.toStdString() + "); nothing was sent to the instrument", 1);
}

void UpdateSession::GuardInterrupts() {
    guard_ = std::make_unique<tola::os::InterruptGuard>();
    tola::os::InterruptGuard& guard = *guard_;
    options.abortRequested = [this, &guard] {
        guard.SetRemainingSeconds(engine.FTimeRemainMs / 1000);
        return guard.AbortRequested();
    };
    options.criticalPhase = [this, &guard](bool critical) {
        guard.SetRemainingSeconds(engine.FTimeRemainMs / 1000);
        if (critical) guard.Enter();
        else guard.Leave();
        // A caller that watches the stream learns when the update must not be
        // stopped (the Python package waits through it instead of timing out).
        if (view_options.json)
            json_event(std::string("\"event\":\"critical\",\"critical\":") + (critical ? "true" : "false"));
    };
    engine.SetOptions(options);
}

void UpdateSession::Connect() {
    connection.PortData().iPort = port;
    std::string address;
    if (port == kPortBluetooth) {
        address = selected_device();
        if (address.empty()) throw Failure("no Bluetooth instrument selected: use bt-scan and bt-select", 2);
        BT_DEVICE device{};
        std::snprintf(device.snBtAddress, sizeof device.snBtAddress, "%s", address.c_str());
        connection.SelectBluetoothDevice(device);
    }
    connection.SetSearchLimit(SearchLimit{QString::fromStdString(connect.serial),
                                          port == kPortUsb ? QString::fromStdString(connect.socket) : QString()});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
        const std::int32_t r = connection.OpenDev();
        if (r == 1 || BootLoaderOnly(connection.PortData())) return;
        if ((r != 2 && r != 0) || std::chrono::steady_clock::now() > deadline) {
            std::string why = to_utf8(connection.PortData().ssStatus);
            if (why.empty()) why = "no answer";
            connection.CloseDev();
            const QString stranded =
                port == kPortBluetooth
                    ? UpdateWorkflow::BootLoaderOverBluetooth(options.backupFolder, QString::fromStdString(address))
                    : QString();
            if (!stranded.isEmpty()) why += "\n" + terminal_text(stranded);
            throw Failure("no instrument: " + why, 2);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

}  // namespace tolactl
