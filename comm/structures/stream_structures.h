// Structures of the memory-mapped generation over the byte-stream links
// (serial port and Bluetooth): the load when a connection is made, and the
// per-structure transfers on request.
#pragma once

#include "comm/structures/structure_catalogue.h"

namespace tola::structures {

struct StreamLoadFlags {
    bool table_loaded = false;
    bool setup_loaded = false;
    bool quiet = false;  // table and version loaded: later failures keep ssStatus
};

StreamLoadFlags& stream_load_flags();
void clear_stream_load_flags();

// Loads table, version, sizes, set-up and settings of a kind 8-11 instrument,
// by reads alone.
bool load_over_stream(bool bluetooth);
// The host command that completes the load over Bluetooth (releases after 4):
// kept apart, so that an instrument the search passes over is never written to.
void finish_bluetooth_load();

// Reads the structure table again.
bool stream_read_table();

// Moves one structure; downloads of the settings and additional block 2 are
// followed by the apply sequence.
bool stream_upload(Copy copy);
bool stream_download(Copy copy);

// Whether a structure moves over the byte-stream links in this direction.
bool stream_serves(Copy copy, bool bluetooth, int direction);

}  // namespace tola::structures
