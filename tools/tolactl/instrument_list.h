// What tolactl list finds, shared with the fleet update that plans from it.
#pragma once

#include "update/device/instrument_survey.h"
#include "update/firmware/update_lock.h"

#include <optional>
#include <string>
#include <vector>

namespace tolactl {

struct ListedInstrument {
    ckupdate::SurveyedInstrument found;
    QString pendingBackup;  // the pending settings backup of its serial number
    QString runningUpdate;  // the running update that holds it
};

// Surveys the places and adds what the backup folder and the update lock say.
std::vector<ListedInstrument> list_instruments(const ckupdate::SurveyPlaces& places, const QString& backup_folder,
                                               const std::optional<ckupdate::UpdateLock::Running>& running,
                                               bool show_progress);

// "ready", "boot loader only", "pending settings backup", ...
std::string format_state(const ListedInstrument& listed);

// The Bluetooth addresses that bt-scan and list --bt-search found last.
std::vector<std::string> known_devices();
void remember_known_devices(const std::vector<std::string>& addresses);

}  // namespace tolactl
