// What tolactl's update, rollback and settings commands share: the program's
// update engine and workflow on a connection of their own, with a terminal or
// JSON view, and Ctrl-C kept out of the stretch that must not be cut off.
#pragma once

#include "update_guard.h"
#include "update_views.h"

#include "platform/interrupt_guard.h"

#include "update/binding/comm_api.h"
#include "update/device/device_connection.h"
#include "update/firmware/ck_update_engine.h"
#include "update/firmware/device_host.h"
#include "update/firmware/update_workflow.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <string>

namespace tolactl {

// Where and which instrument a command connects to.
struct ConnectOptions {
    std::string port = "usb";  // usb or bt
    std::string serial;        // only the instrument with this serial number
    std::string socket;        // a USB channel socket's name: only the instrument there
};

struct UpdateSession {
    UpdateSession(const ViewOptions& view_options, const ConnectOptions& connect, const std::string& history,
                  const std::string& backup_folder);
    ~UpdateSession();

    // Opens the instrument as the program's connection thread does; throws
    // Failure (exit 2) when none answers (naming an update that left one in its
    // boot loader, which Bluetooth cannot reach).
    void Connect();
    // Refuses (Failure, exit 1) while another update runs.
    void RefuseDuringUpdate() const;
    // Ctrl-C, SIGTERM and SIGHUP cannot cut the instrument's critical stretch
    // off (see platform/interrupt_guard.h); the JSON stream says when it starts
    // and ends.  Applies the engine's options.
    void GuardInterrupts();

    ViewOptions view_options;
    ConnectOptions connect;
    std::uint32_t port;
    std::unique_ptr<ckupdate::UpdateView> view;
    ckupdate::CommApi api;
    ckupdate::TDeviceConnection connection;
    ckupdate::DeviceHost host;
    ckupdate::TCkUpdateEngine engine;
    ckupdate::UpdateWorkflow workflow;
    ckupdate::UpdateOptions options;

private:
    std::unique_ptr<tola::os::InterruptGuard> guard_;
};

// The folder of the settings backups: the option, else the application data folder's.
QString backup_folder(const std::string& option);

// Adds --port usb|bt, --socket and (unless the command has its own) --serial
// to an update-like command.
void add_connect_options(CLI::App& cmd, ConnectOptions& options, bool with_serial = true);

// Asks a yes/no question on the terminal; no terminal is no.
bool confirm(const std::string& question);

}  // namespace tolactl
