// The refusal that keeps every command that writes to an instrument out of a
// running update, whichever process runs it and wherever its backups are.
#pragma once

namespace tolactl {

// Throws Failure (exit 1) naming the running update; returns when none runs.
void refuse_during_update();

}  // namespace tolactl
