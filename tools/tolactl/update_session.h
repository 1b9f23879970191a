// What tolactl's update, rollback and settings commands share: the program's
// update engine on a connection of its own, with a terminal or JSON view.
#pragma once

#include "update_views.h"

#include "update/binding/comm_api.h"
#include "update/device/device_connection.h"
#include "update/firmware/ck_update_engine.h"

#include <memory>
#include <string>

namespace tolactl {

// The main window's part of the update, for a command line.
class CliHost final : public ckupdate::UpdateHost {
public:
    explicit CliHost(ckupdate::TDeviceConnection& connection) : connection_(connection) {}
    PXM_COMM& PortData() override { return connection_.PortData(); }
    std::int32_t OpenDev() override { return connection_.OpenDev(); }
    void CloseDev() override { connection_.CloseDev(); }
    void SetUSBWatchIdle(bool idle) override { connection_.SetUSBWatchIdle(idle); }

private:
    ckupdate::TDeviceConnection& connection_;
};

struct UpdateSession {
    UpdateSession(const ViewOptions& view_options, const std::string& port, const std::string& history,
                  const std::string& backup_folder);
    ~UpdateSession();

    // Opens the instrument as the program's connection thread does; throws
    // Failure (exit 2) when none answers.
    void Connect();
    // Refuses (Failure, exit 1) while another update runs.
    void RefuseDuringUpdate() const;

    ViewOptions view_options;
    std::uint32_t port;
    std::unique_ptr<ckupdate::UpdateView> view;
    ckupdate::CommApi api;
    ckupdate::TDeviceConnection connection;
    CliHost host;
    ckupdate::TCkUpdateEngine engine;
    ckupdate::UpdateOptions options;
};

// The folder of the settings backups: the option, else the application data folder's.
QString backup_folder(const std::string& option);

// Refuses a command that would change the instrument while an update runs.
void refuse_during_update();

}  // namespace tolactl
