// Drives the program's windows through the states worth a picture and saves
// each window as a PNG: the Bluetooth dialog with devices, the choice between
// two USB instruments, the main window connected, the update dialog in progress and finished, the About box.
// Runs against virtual instruments of its own, with private settings.
//
//   ck_update_screenshot_tour --lang en|de --out FOLDER
#include "update/bluetooth/bt_discover.h"
#include "update/config/settings_store.h"
#include "update/documents/about_box.h"
#include "update/shell/ck_update_dialog.h"
#include "update/shell/instrument_choice.h"
#include "update/shell/program_windows.h"
#include "update/shell/translations.h"

#include "sim/simulator.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>
#include <cstdlib>

namespace {

using namespace ckupdate;

bool Save(QWidget& w, const QString& folder, const QString& name) {
    const QString path = folder + "/" + name + ".png";
    const bool ok = w.grab().save(path);
    std::printf("%s %s\n", ok ? "saved" : "FAILED", qPrintable(path));
    return ok;
}

tola::sim::InstrumentConfig Instrument(int kind, const char* serial, const char* btName = "") {
    tola::sim::InstrumentConfig c;
    c.kind = kind;
    c.firmware = "511vLE";
    c.serial = serial;
    c.bt_name = btName;
    return c;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QCommandLineParser options;
    options.addOption({"lang", "en or de", "lang", "en"});
    options.addOption({"out", "folder of the pictures", "out", "."});
    options.process(app);
    const QString folder = options.value("out");
    QDir().mkpath(folder);

    QTemporaryDir dir;
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir.path() + "/config");
    const std::string base = dir.path().toStdString();
    ::setenv("TOLA_USB_DIR", (base + "/usb").c_str(), 1);
    ::setenv("TOLA_BT_DIR", (base + "/bt").c_str(), 1);
    const QString program = QCoreApplication::applicationFilePath();
    SetLanguageOverride(program, options.value("lang") == "de" ? QStringLiteral("de-DE") : QStringLiteral("ENU"));
    InstallTranslation(app, program);

    tola::sim::Simulator sim(base + "/usb", base + "/bt");
    sim.add(Instrument(4, "H51234"));
    sim.add(Instrument(4, "H51240"));
    sim.add(Instrument(10, "H51235", "TOLA Chromatik V H51235"));
    sim.add(Instrument(10, "H51236", "TOLA Chromatik V H51236"));
    sim.start();

    int failures = 0;
    TProgramWindows windows(TProgramStart{{program}, program, nullptr});
    TfrmDiscover& discover = windows.frmDiscover();
    TfrmCkUpdate& update = windows.frmCkUpdate();

    // The search opens by itself and finds two instruments: the dialog stays
    // open for a choice.  It runs modally, so it is pictured from a timer.
    QTimer watch;
    watch.setInterval(100);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!discover.isVisible() || discover.SearchRunning() || discover.lvDevices()->topLevelItemCount() < 2) return;
        watch.stop();
        QTest::qWait(300);
        if (!Save(discover, folder, "bluetooth-devices")) ++failures;
        discover.btnDiscCancel()->click();  // a USB instrument connects instead
    });
    watch.start();
    // Two instruments answer over USB: the program asks which one to connect.
    QTimer choice;
    choice.setInterval(100);
    QObject::connect(&choice, &QTimer::timeout, [&] {
        auto* list = qobject_cast<TfrmChooseInstrument*>(QApplication::activeModalWidget());
        if (list == nullptr) return;
        choice.stop();
        QTest::qWait(300);
        if (!Save(*list, folder, "usb-instruments")) ++failures;
        list->btnConnect()->click();  // the first one, H51234
    });
    choice.start();
    windows.frmMain().show();

    if (!QTest::qWaitFor([&] { return update.isVisible() && update.btnUpdateFW_CKV()->isEnabled(); }, 30000)) {
        std::fprintf(stderr, "the update dialog did not open\n");
        return 1;
    }
    QTest::qWait(300);
    if (!Save(windows.frmMain(), folder, "main-connected")) ++failures;

    update.btnUpdateFW_CKV()->click();
    (void)QTest::qWaitFor([&] { return update.prgBarUpdate()->value() > update.prgBarUpdate()->maximum() / 3 ||
                                 update.StepStateOf(3) != StepState::Off; }, 30000);
    if (!Save(update, folder, "update-in-progress")) ++failures;
    (void)QTest::qWaitFor([&] { return !update.UpdateRunning(); }, 60000);
    QTest::qWait(300);
    if (!Save(update, folder, "update-finished")) ++failures;
    update.btnMessage()->click();

    TfrmAbout& about = windows.frmAbout();
    QTimer::singleShot(500, &about, [&] {
        if (!Save(about, folder, "about")) ++failures;
        about.btnOk()->click();
    });
    about.ShowModal();

    windows.frmMain().close();
    return failures == 0 ? 0 : 1;
}
