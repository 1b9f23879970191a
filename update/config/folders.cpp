#include "update/config/folders.h"

#include <QDir>

#include <exception>

namespace ckupdate {
namespace {

QString EnsureFolder(const QString& candidate) {
    QDir().mkpath(candidate);
    return QDir(candidate).exists() ? candidate : QStringLiteral(".");
}

}  // namespace

QString CheckAndForceFolder(const QString& folder, std::optional<QStandardPaths::StandardLocation> specialFolder,
                            const FolderErrorBox& box) {
    try {
        if (!folder.isEmpty()) return EnsureFolder(folder);
        QString base;
        if (specialFolder) base = QStandardPaths::writableLocation(*specialFolder).left(260);
        const QString candidate =
            base.isEmpty() ? QStringLiteral("./TOLA/CK_Helper") : base + QStringLiteral("/TOLA/CK_Helper");
        return EnsureFolder(candidate);
    } catch (const std::exception&) {
        if (box) box(QStringLiteral("Schwerer Fehler in >CheckAndForceFolder()< "));
        throw;
    }
}

QString CheckMainAppDataDir(const QString& folder, const FolderErrorBox& box) {
    try {
        return CheckAndForceFolder(folder, QStandardPaths::GenericDataLocation, {});
    } catch (const std::exception&) {
        if (box) box(QStringLiteral("Schwerer Fehler in >CheckMainAppDataDir()< "));
        return QString();
    }
}

}  // namespace ckupdate
