// The user-interface language: English is built in; a translation is chosen by
// the per-user language override ("de-DE", "ENU", "FRA"), or, when the user
// never chose one, by the system's language.  Languages without a translation
// show the built-in English texts.
#pragma once

#include <QLocale>
#include <QString>

#include <optional>

class QCoreApplication;

namespace ckupdate {

// The translation file ("de" for German) for a stored override, or for the
// system locale when none is stored; empty for the built-in English.
QString TranslationFor(const std::optional<QString>& storedOverride, const QLocale& system);

// Installs the program's translation (and Qt's own for the standard dialogs)
// for the program's language.  The name of the installed translation, or empty.
QString InstallTranslation(QCoreApplication& app, const QString& programPath);

}  // namespace ckupdate
