#include "update/shell/translations.h"

#include "update/config/settings_store.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace ckupdate {

QString TranslationFor(const std::optional<QString>& storedOverride, const QLocale& system) {
    if (storedOverride) return *storedOverride == QLatin1String("de-DE") ? QStringLiteral("de") : QString();
    return system.language() == QLocale::German ? QStringLiteral("de") : QString();
}

QString InstallTranslation(QCoreApplication& app, const QString& programPath) {
    const QString language = TranslationFor(StoredLanguageOverride(programPath), QLocale::system());
    if (language.isEmpty()) return QString();
    auto* program = new QTranslator(&app);
    if (!program->load(QStringLiteral(":/i18n/Tola_CK_Update_%1.qm").arg(language))) {
        delete program;
        return QString();
    }
    QCoreApplication::installTranslator(program);
    // The buttons of the standard boxes and file dialogs, when Qt's own
    // translations are installed on the system.
    auto* qt = new QTranslator(&app);
    if (qt->load(QStringLiteral("qtbase_%1").arg(language), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qt);
    else
        delete qt;
    return language;
}

}  // namespace ckupdate
