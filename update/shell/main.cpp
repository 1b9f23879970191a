// Tola_CK_Update: updates the firmware of a Chromatik V.
#include "update/shell/first_paint.h"
#include "update/shell/pictures.h"
#include "update/shell/program_windows.h"
#include "update/shell/termination_requests.h"
#include "update/shell/translations.h"

#include "update/config/settings_store.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    // Answered before any window system is needed (packaging checks, scripts).
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("Tola_CK_Update %s\n", ckupdate::GetProgramVersionText(QString()).toUtf8().constData());
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("TOLA"));
    QApplication::setApplicationName(QStringLiteral("Tola_CK_Update"));
    // The application title is empty: window titles stay as the windows set them.
    QApplication::setApplicationDisplayName(QString());
    QApplication::setDesktopFileName(QStringLiteral("tola-ck-update"));
    QApplication::setWindowIcon(ckupdate::ProgramIcon());
    const QString programPath = QCoreApplication::applicationFilePath();
    ckupdate::InstallTranslation(app, programPath);

    ckupdate::TProgramWindows windows(ckupdate::TProgramStart{QCoreApplication::arguments(), programPath, nullptr});
    QObject::connect(&windows.frmMain(), &ckupdate::TfrmMain::Closed, &app, &QApplication::quit);
    // A logout, a closed terminal or Ctrl-C is a close request like any other:
    // refused while an update runs.
    new ckupdate::TTerminationRequests(windows.frmMain());
    ckupdate::ReportFirstPaintIfAsked(windows.frmMain());
    windows.frmMain().show();
    return QApplication::exec();
}
