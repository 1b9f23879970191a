// The program's data folders on QStandardPaths.
#pragma once

#include <QStandardPaths>
#include <QString>

#include <functional>
#include <optional>

namespace ckupdate {

// Shows a message box with the text (the program passes its box; tools print).
using FolderErrorBox = std::function<void(const QString&)>;

// folder not empty: creates it with its parents; the folder when it exists
// afterwards, "." otherwise.  folder empty: the same with the special folder's
// path + "/TOLA/CK_Helper" (or "./TOLA/CK_Helper" when the system names none).
// An error shows "Schwerer Fehler in >CheckAndForceFolder()< " and is passed on.
QString CheckAndForceFolder(const QString& folder, std::optional<QStandardPaths::StandardLocation> specialFolder,
                            const FolderErrorBox& box = {});

// CheckAndForceFolder with the user's application-data folder (~/.local/share);
// an error shows "Schwerer Fehler in >CheckMainAppDataDir()< " and gives "".
QString CheckMainAppDataDir(const QString& folder, const FolderErrorBox& box = {});

}  // namespace ckupdate
