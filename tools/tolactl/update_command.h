// tolactl update: one instrument, or a fleet of them one after another.
#pragma once

#include "update_session.h"

#include "update/firmware/update_history.h"

#include <string>
#include <vector>

namespace tolactl {

struct UpdateOptionsCli {
    std::string image;
    std::string file;
    bool service = false;
    ConnectOptions connect;
    std::vector<std::string> serials;  // --serial, given once or more
    bool all = false;
    bool keep_going = false;
    bool json = false;
    bool yes = false;
    bool no_verify = false;
    std::string history;
    std::string backup_dir;
    bool backup = false;
    bool no_backup = false;
    bool restore_stale = false;
    std::string settings_file;
};

// The catalog entry an --image names (a release or an index); -1 when none.
int select_image(const std::string& image);

// One update of the instrument o.connect names; *last receives its record.
// The exit code: 0 succeeded, 1 anything else.
int run_update(const UpdateOptionsCli& o, ckupdate::UpdateRecord* last = nullptr);

// Every instrument of --all or of the --serial list, one after another.
int run_fleet(const UpdateOptionsCli& o);

}  // namespace tolactl
