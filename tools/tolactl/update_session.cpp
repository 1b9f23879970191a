#include "update_session.h"

#include "commands.h"
#include "session.h"

#include "update/binding/linked_functions.h"
#include "update/firmware/stored_settings.h"
#include "update/firmware/update_history.h"
#include "update/firmware/update_lock.h"
#include "update/config/settings_store.h"

#include <chrono>
#include <cstdio>
#include <thread>

namespace tolactl {

using namespace ckupdate;

QString backup_folder(const std::string& option) {
    return option.empty() ? DefaultSettingsBackupFolder() : QString::fromStdString(option);
}

void refuse_during_update() {
    const QString running = UpdateLock::RunningUpdate(DefaultSettingsBackupFolder());
    if (!running.isEmpty())
        throw Failure("an update is running (" + running.toStdString() + "); nothing was sent to the instrument", 1);
}

UpdateSession::UpdateSession(const ViewOptions& vo, const std::string& port_name, const std::string& history,
                             const std::string& folder)
    : view_options(vo),
      port(port_name == "bt" ? kPortBluetooth : kPortUsb),
      view(make_update_view(vo)),
      api(&LinkedCommFunctions()),
      connection(api),
      host(connection),
      engine(api, host, *view) {
    options.historyFile = history.empty() ? DefaultHistoryFile() : QString::fromStdString(history);
    options.backupFolder = backup_folder(folder);
    const FirmwareBackupOptions backups = ReadFirmwareBackupOptions();
    options.firmwareBackupBluetooth = backups.overBluetooth;
    options.firmwareBackupsKept = backups.kept;
}

UpdateSession::~UpdateSession() { connection.CloseDev(); }

void UpdateSession::RefuseDuringUpdate() const {
    const QString running = UpdateLock::RunningUpdate(options.backupFolder);
    if (!running.isEmpty())
        throw Failure("an update is running (" + running.toStdString() + "); nothing was sent to the instrument", 1);
}

void UpdateSession::Connect() {
    connection.PortData().iPort = port;
    if (port == kPortBluetooth) {
        const std::string address = selected_device();
        if (address.empty()) throw Failure("no Bluetooth instrument selected: use bt-scan and bt-select", 2);
        BT_DEVICE device{};
        std::snprintf(device.snBtAddress, sizeof device.snBtAddress, "%s", address.c_str());
        connection.Api().CK_comm_BtSetDevice(&device);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
        const std::int32_t r = connection.OpenDev();
        if (r == 1 || BootLoaderOnly(connection.PortData())) return;
        if ((r != 2 && r != 0) || std::chrono::steady_clock::now() > deadline) {
            std::string why = to_utf8(connection.PortData().ssStatus);
            if (why.empty()) why = "no answer";
            connection.CloseDev();
            throw Failure("no instrument: " + why, 2);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

}  // namespace tolactl
