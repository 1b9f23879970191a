// Makes a new or renamed file's entry in its folder durable.  Writing a file
// atomically (a temporary file synced and renamed over the old one) protects its
// content; the rename itself lives in the folder and is lost with a power cut
// until the folder is synced as well.
#pragma once

#include <string>

namespace tola::os {

// Syncs the folder to disk; false with the reason when it cannot be opened or synced.
bool sync_folder(const std::string& folder, std::string* error = nullptr);

}  // namespace tola::os
