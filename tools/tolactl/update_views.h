// How tolactl shows an update: a terminal view (steps, progress bar, count-down)
// and a JSON-lines view (one event per line for machines).
#pragma once

#include "update/firmware/update_view.h"

#include <cstdio>
#include <memory>
#include <string>

namespace tolactl {

struct ViewOptions {
    bool json = false;
    bool assume_yes = false;
};

std::unique_ptr<ckupdate::UpdateView> make_update_view(const ViewOptions& options);

// Writes one JSON event line (for the command's own events).
void json_event(const std::string& object_without_braces);
// Fields that every later event carries at its end, e.g. "\"serial\":\"H51234\""
// while a fleet update works on that instrument ("" for none).
void set_json_context(const std::string& fields);

// A text of the system (which may carry "\n\r" line breaks) for the terminal.
std::string terminal_text(const QString& text);
std::string json_string(const QString& text);

}  // namespace tolactl
