#include "update/shell/previous_firmware.h"

#include "update/firmware/firmware_backup.h"

#include <QCoreApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QStringList>

namespace ckupdate {
namespace {

struct Tr {
    Q_DECLARE_TR_FUNCTIONS(PreviousFirmware)
};

}  // namespace

QString ChoosePreviousFirmware(QWidget* parent, const QString& serial) {
    const QString title = Tr::tr("Previous firmware");
    if (serial.isEmpty()) {
        QMessageBox::information(parent, title, Tr::tr("No instrument is connected."));
        return QString();
    }
    const QString folder = DefaultFirmwareBackupFolder();
    const QVector<FirmwareBackup> copies = FirmwareBackupsOf(folder, serial);
    if (copies.isEmpty()) {
        QMessageBox::information(parent, title,
                                 Tr::tr("No firmware backup of instrument %1 is kept in %2.").arg(serial, folder));
        return QString();
    }
    QStringList items;
    for (const FirmwareBackup& b : copies)
        items << Tr::tr("%1   firmware %2 (%3)")
                     .arg(b.time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), b.release, b.date);
    bool ok = false;
    const QString chosen = QInputDialog::getItem(
        parent, title, Tr::tr("Write which firmware back to instrument %1?").arg(serial), items, 0, false, &ok);
    if (!ok) return QString();
    const qsizetype index = items.indexOf(chosen);
    if (index < 0) return QString();
    QString why;
    const QString path = RollbackCopy(folder, serial, copies[index].path, &why);
    if (path.isEmpty()) QMessageBox::warning(parent, title, why);
    return path;
}

}  // namespace ckupdate
