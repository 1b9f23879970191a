// The main window: start-up with and without the library, the service mode's
// Firmware menu, the licence command, the About box, the language items, the
// German translation.
#include "tests/program/program_fixture.h"

#include "update/binding/dynamic_library.h"
#include "update/bluetooth/bt_discover.h"
#include "update/documents/about_box.h"
#include "update/documents/htm_viewer.h"
#include "update/documents/pdf_viewer.h"
#include "update/documents/rtf_viewer.h"
#include "update/firmware/firmware_catalog.h"
#include "update/shell/translations.h"

#include <QActionGroup>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTranslator>

namespace ckupdate::testing {
namespace {

// The system's loader, but without some files or names.
class PartialLibraries final : public DynamicLibraryApi {
public:
    explicit PartialLibraries(bool anyFile, std::string missingName = {})
        : real_(SystemDynamicLibraryApi()), any_file_(anyFile), missing_(std::move(missingName)) {}
    bool FileExists(const std::string& p) override { return any_file_ && real_->FileExists(p); }
    void* Open(const std::string& p) override { return real_->Open(p); }
    std::string LastErrorText() override { return real_->LastErrorText(); }
    void* Symbol(void* module, const char* name) override {
        return missing_ == name ? nullptr : real_->Symbol(module, name);
    }
    void Close(void* module) override { real_->Close(module); }
    std::string CurrentDirectory() override { return real_->CurrentDirectory(); }
    std::string InstalledLibraryPath() override { return any_file_ ? real_->InstalledLibraryPath() : std::string(); }

private:
    std::unique_ptr<DynamicLibraryApi> real_;
    bool any_file_;
    std::string missing_;
};

// Counts the showings of a window.
class ShowCounter : public QObject {
public:
    int shown = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Show) ++shown;
        return false;
    }
};

class MainWindowTest : public ProgramTest {
protected:
    // Shows a PDF licence as the program does when no PDF view can be made:
    // through the system's "open" action, which works or fails as told.
    QString OpenPdfWithoutViewer(bool systemOpens) {
        Main().SetWindows(TProgramWindowRefs{&Windows().frmAbout(), &Windows().frmHTMViewer(), nullptr,
                                             &Windows().frmRTFViewer(), &Update(), &Windows().frmDiscover()});
        systemOpenWorks_ = systemOpens;
        const QString pdf = WriteFile("licence.pdf", "%PDF-1.4\n");
        Main().ShowDocument(pdf);
        return pdf;
    }

    QString WriteFile(const QString& name, const QByteArray& content) {
        const QString path = dir_.path() + "/" + name;
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        return path;
    }
};

TEST_F(MainWindowTest, StartsDisconnectedWithTheLibraryLoaded) {
    Launch({QStringLiteral("-cFW_Select")});
    EXPECT_EQ(QStringLiteral("TOLA Chromatik Updater"), Main().windowTitle());
    EXPECT_EQ(QStringLiteral("Device: ----"), Main().lblDevice()->text());
    EXPECT_EQ(QStringLiteral("Serial: ----"), Main().lblSerial()->text());
    EXPECT_EQ(QStringLiteral("Firmware: ----"), Main().lblFirmware()->text());
    EXPECT_EQ(QStringLiteral("If-Version: ----"), Main().lblInterface()->text());
    EXPECT_EQ(QStringLiteral("libTOLA_comm.so.1"), Main().lblCKPDll()->text());
    EXPECT_TRUE(Main().lblDllStatus()->text().startsWith(QStringLiteral("Version: 1.0.")));
    EXPECT_FALSE(Main().bbtnCKUpdate()->isEnabled());
    EXPECT_EQ(QStringLiteral("Chromatik Update\n\nV512bLE"), Main().bbtnCKUpdate()->text());
    EXPECT_TRUE(Main().tmrPollConnectionStatus()->isActive());
    EXPECT_EQ(2000, Main().tmrPollConnectionStatus()->interval());
    EXPECT_FALSE(Main().smExtraDisconnect()->isEnabled());
    EXPECT_FALSE(Main().smExtraConnectBT()->isEnabled());
    // A fixed-size window without a maximise button.
    EXPECT_EQ(Main().minimumSize(), Main().maximumSize());
    EXPECT_FALSE(Main().windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(errorBoxes_.empty());
}

TEST_F(MainWindowTest, ServiceModeListsTheCatalogAndOpensNoSearch) {
    Launch({QStringLiteral("-cFW_Select")});
    ShowCounter discover;
    Windows().frmDiscover().installEventFilter(&discover);
    ASSERT_TRUE(Main().mmFirmware()->menuAction()->isVisible());
    EXPECT_EQ(QStringLiteral("Firmware"), Main().mmFirmware()->title());
    EXPECT_TRUE(Main().smFW0()->isVisible());
    EXPECT_EQ(QStringLiteral("Read firmware file"), Main().smFW0()->text());
    const QList<QAction*> items = Main().FirmwareItems();
    ASSERT_EQ(15, items.size());
    for (int i = 0; i < items.size(); ++i) {
        EXPECT_EQ(Firmwares().Version.at(i), items[i]->text());
        EXPECT_TRUE(items[i]->isCheckable());
        EXPECT_TRUE(items[i]->isEnabled());
        EXPECT_EQ(items[i]->actionGroup(), Main().smFW0()->actionGroup());
        EXPECT_EQ(i == 0, items[i]->isChecked()) << i;
    }
    EXPECT_TRUE(Main().smFW0()->actionGroup()->isExclusive());
    EXPECT_EQ(items[0], Main().mmFirmware()->defaultAction());

    // Four ticks of the watch timer later no search has opened.
    QTest::qWait(2200);
    EXPECT_EQ(0, discover.shown);
    EXPECT_EQ(0, CountTraces("smExtraConnectSelectBTDClick"));

    // A catalog item selects its image and names it on the update button.
    items[9]->trigger();
    EXPECT_TRUE(items[9]->isChecked());
    EXPECT_EQ(9u, Firmwares().ItemIndex);
    EXPECT_EQ(QStringLiteral("Chromatik Update\n\nV511e"), Main().bbtnCKUpdate()->text());
}

TEST_F(MainWindowTest, ReadFirmwareFileLoadsAnExternalImageOrChangesNothing) {
    Launch({QStringLiteral("-cFW_Select")});
    const QList<QAction*> items = Main().FirmwareItems();
    items[3]->trigger();

    // Cancelled: the catalog item stays ticked.
    fileAnswer_.clear();
    Main().smFW0()->trigger();
    ASSERT_EQ(1u, fileRequests_.size());
    EXPECT_EQ(QStringLiteral("Read firmware file"), fileRequests_[0].title);
    EXPECT_EQ(QStringLiteral("CK_STM_App_Binary.bin"), fileRequests_[0].fileName);
    EXPECT_TRUE(items[3]->isChecked());
    EXPECT_EQ(QStringLiteral("Chromatik Update\n\nV511vLE"), Main().bbtnCKUpdate()->text());

    // A complete file in the header layout.
    auto field = [](const char* t) {
        QByteArray b(t);
        b.resize(64, '\0');
        return b;
    };
    QByteArray image(0x60000, char(0xFF));
    image.replace(0xC000, 10, "App Loaded");
    fileAnswer_ = WriteFile("fw.bin", field("Chromatik V") + field("513zz") + field("June 1, 2024") + image);
    Main().smFW0()->trigger();
    EXPECT_TRUE(Main().smFW0()->isChecked());
    EXPECT_EQ(QStringLiteral("Chromatik Update\n\nV513zz"), Main().bbtnCKUpdate()->text());
    EXPECT_EQ(fileAnswer_, Main().Settings().FileNameBinStream);
    EXPECT_TRUE(Update().Engine().FFirmwareAvailable());

    // Choosing a catalog item again discards the file.
    items[0]->trigger();
    EXPECT_TRUE(Update().Engine().FDeviceName().isEmpty());
    EXPECT_EQ(QStringLiteral("Chromatik Update\n\nV512bLE"), Main().bbtnCKUpdate()->text());
}

TEST_F(MainWindowTest, WithoutLibraryTheProgramStaysUsable) {
    Launch({QStringLiteral("-cFW_Select")}, std::make_unique<CommBinding>(std::make_unique<PartialLibraries>(false)));
    EXPECT_EQ(QStringLiteral("State: not loaded"), Main().lblDllStatus()->text());
    EXPECT_EQ(QStringLiteral("--DLL--"), Main().lblCKPDll()->text());
    EXPECT_FALSE(Main().bbtnCKUpdate()->isEnabled());
    EXPECT_FALSE(Main().tmrPollConnectionStatus()->isActive());
    EXPECT_TRUE(errorBoxes_.empty());
    QTest::qWait(600);
    EXPECT_FALSE(Main().ConnectionThread()->isRunning());

    // The licence text still shows.
    Main().Settings().ViewerEULAFile = WriteFile("licence.rtf", "{\\rtf1\\ansi Licence text\\par}");
    Main().smInfoEula()->trigger();
    EXPECT_TRUE(Windows().frmRTFViewer().isVisible());
}

TEST_F(MainWindowTest, LibraryWithoutAFunctionIsReportedOnceAndNotUsed) {
    Launch({QStringLiteral("-cFW_Select")},
           std::make_unique<CommBinding>(std::make_unique<PartialLibraries>(true, "bTOLA_comm_reset")));
    ASSERT_EQ(1u, errorBoxes_.size());
    EXPECT_TRUE(errorBoxes_[0].startsWith(QStringLiteral("Funktion <bTOLA_comm_reset> \r\nin Dll <")));
    EXPECT_TRUE(errorBoxes_[0].endsWith(QStringLiteral("nicht gefunden.\r\n\r\n*** Dll nicht geladen ***")));
    EXPECT_EQ(QStringLiteral("State: not loaded"), Main().lblDllStatus()->text());
    EXPECT_FALSE(Main().tmrPollConnectionStatus()->isActive());
    EXPECT_FALSE(Main().bbtnCKUpdate()->isEnabled());
}

TEST_F(MainWindowTest, LicenceCommandPicksTheViewerByExtension) {
    Launch({QStringLiteral("-cFW_Select")});
    // The extension only has to contain RTF.
    Main().Settings().ViewerEULAFile = WriteFile("licence.rtfx", "{\\rtf1\\ansi Licence\\par}");
    Main().smInfoEula()->trigger();
    EXPECT_TRUE(Windows().frmRTFViewer().isVisible());
    EXPECT_FALSE(Windows().frmHTMViewer().isVisible());
    EXPECT_FALSE(Windows().frmPDFViewer().isVisible());
    EXPECT_TRUE(fileRequests_.empty());
    Windows().frmRTFViewer().hide();

    Main().ShowDocument(WriteFile("licence.HTM", "<html><body>Licence</body></html>"));
    EXPECT_TRUE(Windows().frmHTMViewer().isVisible());
    EXPECT_FALSE(Windows().frmRTFViewer().isVisible());
    Windows().frmHTMViewer().hide();

    // A file that is not there is asked for; the choice becomes the licence file.
    Main().Settings().ViewerEULAFile = dir_.path() + "/missing.rtf";
    fileAnswer_ = WriteFile("chosen.html", "<html><body>Chosen</body></html>");
    Main().smInfoEula()->trigger();
    ASSERT_EQ(1u, fileRequests_.size());
    const OpenFileRequest& r = fileRequests_[0];
    EXPECT_EQ(QStringLiteral("Open EULA file"), r.title);
    EXPECT_EQ(QStringLiteral("missing.rtf"), r.fileName);
    EXPECT_EQ(Main().Environment().ProgramFolder, r.folder);
    EXPECT_EQ(5, r.filters.size());
    EXPECT_EQ(fileAnswer_, Main().Settings().ViewerEULAFile);
    EXPECT_TRUE(Windows().frmHTMViewer().isVisible());

    // A PDF goes to the PDF viewer when it can show one, else to the system.
    const QString pdf = WriteFile("licence.pdf", "%PDF-1.4\n");
    Main().ShowDocument(pdf);
    if (PdfControlAvailable()) {
        EXPECT_TRUE(systemOpened_.empty());
    } else {
        ASSERT_EQ(1u, systemOpened_.size());
        EXPECT_EQ(pdf, systemOpened_[0]);
    }
}

TEST_F(MainWindowTest, PdfTheSystemCannotOpenIsAnErrorBox) {
    Launch({QStringLiteral("-cFW_Select")});
    const QString pdf = OpenPdfWithoutViewer(false);
    ASSERT_EQ(1u, systemOpened_.size());
    EXPECT_EQ(pdf, systemOpened_[0]);
    ASSERT_EQ(1u, errorBoxes_.size());
    EXPECT_EQ(QStringLiteral("Error:\n\rThe system has no program to open this document.\n\r<") + pdf + ">",
              errorBoxes_[0]);

    // Opened by the system: no box.
    OpenPdfWithoutViewer(true);
    EXPECT_EQ(2u, systemOpened_.size());
    EXPECT_EQ(1u, errorBoxes_.size());
}

TEST_F(MainWindowTest, LicenceFileOfTheLanguageIsInTheProgramFolder) {
    Launch({QStringLiteral("-cFW_Select")});
    // English texts: "German" reads "German", so the English licence.
    EXPECT_EQ(Main().Environment().ProgramFolder + "EULA-EN.rtf", Main().Settings().ViewerEULAFile);
    Main().smInfoEula()->trigger();
    EXPECT_TRUE(fileRequests_.empty());
    EXPECT_TRUE(Windows().frmRTFViewer().isVisible());
}

TEST_F(MainWindowTest, AboutBoxClosesOnAClickAnywhere) {
    Launch({QStringLiteral("-cFW_Select")});
    TfrmAbout& about = Windows().frmAbout();
    for (QWidget* target : {static_cast<QWidget*>(about.lblTitle()), static_cast<QWidget*>(about.imgChromatik()),
                            static_cast<QWidget*>(about.Panel1()), static_cast<QWidget*>(about.btnOk())}) {
        bool wasShown = false;
        QTimer::singleShot(200, &about, [&] {
            wasShown = about.isVisible();
            QTest::mouseClick(target, Qt::LeftButton, {}, QPoint(5, 5));
        });
        Main().smInfoAbout()->trigger();  // modal: returns when the box has closed
        EXPECT_TRUE(wasShown) << target->objectName().toStdString();
        EXPECT_FALSE(about.isVisible()) << target->objectName().toStdString();
    }
}

TEST_F(MainWindowTest, LanguageItemAsksForARestartOnlyWhenTheLanguageChanges) {
    Launch({QStringLiteral("-cFW_Select")});
    // The submenu is hidden; made visible, its items work.
    EXPECT_FALSE(Main().smExtraLang()->menuAction()->isVisible());
    EXPECT_FALSE(Main().ssmExtraLangFRA()->isVisible());
    EXPECT_TRUE(Main().ssmExtraLangGER()->isChecked());  // no override stored: "de-DE"
    boxAnswer_ = QMessageBox::Cancel;
    Main().ssmExtraLangENG()->trigger();
    ASSERT_EQ(1u, boxes_.size());
    EXPECT_EQ(QStringLiteral("(4011) Please restart\n\rTOLA Chromatik Updater\n\rto activate the language setting."),
              boxes_[0].text);
    EXPECT_EQ(QMessageBox::Ok | QMessageBox::Cancel, boxes_[0].buttons);
    EXPECT_TRUE(Main().isVisible());
    EXPECT_EQ(QStringLiteral("ENU"), GetLanguageOverride(Main().ProgramPath()));

    Main().ssmExtraLangENG()->trigger();
    EXPECT_EQ(1u, boxes_.size());

    boxAnswer_ = QMessageBox::Ok;
    Main().ssmExtraLangGER()->trigger();
    EXPECT_EQ(2u, boxes_.size());
    EXPECT_FALSE(Main().isVisible());
}

TEST_F(MainWindowTest, GermanTranslationCoversTheWindows) {
    const QString program = QCoreApplication::applicationFilePath();
    SetLanguageOverride(program, QStringLiteral("de-DE"));
    ASSERT_EQ(QStringLiteral("de"), InstallTranslation(*QCoreApplication::instance(), program));
    Launch({QStringLiteral("-cFW_Select")});
    EXPECT_EQ(QStringLiteral("Datei"), Main().menuBar()->actions().at(0)->text());
    EXPECT_EQ(QStringLiteral("Gerät: ----"), Main().lblDevice()->text());
    EXPECT_EQ(QStringLiteral("Firmware-Datei lesen"), Main().smFW0()->text());
    EXPECT_EQ(QStringLiteral("Gerät wählen..."), Main().smExtraChooseInstrument()->text());
    // "German" reads "deutsch": the German licence text.
    EXPECT_EQ(Main().Environment().ProgramFolder + "EULA-GE.rtf", Main().Settings().ViewerEULAFile);
    EXPECT_EQ(QStringLiteral("Start"), Update().btnUpdateFW_CKV()->text());
    EXPECT_EQ(QStringLiteral("Update auf V512bLE"), Update().Engine().VersionLine2());
    EXPECT_EQ(QStringLiteral("Kein Gerät verbunden"), Update().lblInstrument()->text());
    EXPECT_EQ(QStringLiteral("Suchen"), Windows().frmDiscover().btnDiscSearch()->text());
    EXPECT_EQ(QStringLiteral("Qualitätskontrolle in der Zahnmedizin"), Windows().frmAbout().lblQuality()->text());
    // A PDF licence the system cannot open: the whole box in German.
    OpenPdfWithoutViewer(false);
    ASSERT_EQ(1u, errorBoxes_.size());
    EXPECT_TRUE(errorBoxes_[0].startsWith(
        QStringLiteral("Fehler:\n\rDas System hat kein Programm, das dieses Dokument öffnen kann.\n\r<")))
        << errorBoxes_[0].toStdString();
    Quit();
    for (QTranslator* t : QCoreApplication::instance()->findChildren<QTranslator*>()) {
        QCoreApplication::removeTranslator(t);
        delete t;
    }
}

TEST(Translations, OverrideOrSystemLanguageChoosesTheFile) {
    EXPECT_EQ(QStringLiteral("de"), TranslationFor(QStringLiteral("de-DE"), QLocale(QLocale::English)));
    EXPECT_EQ(QString(), TranslationFor(QStringLiteral("ENU"), QLocale(QLocale::German)));
    EXPECT_EQ(QString(), TranslationFor(QStringLiteral("FRA"), QLocale(QLocale::German)));
    EXPECT_EQ(QStringLiteral("de"), TranslationFor(std::nullopt, QLocale(QLocale::German, QLocale::Austria)));
    EXPECT_EQ(QString(), TranslationFor(std::nullopt, QLocale(QLocale::French)));
}

}  // namespace
}  // namespace ckupdate::testing
