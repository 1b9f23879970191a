// Info > Connection check shows the checks of tolactl doctor for the library
// the program loaded, and says whether anything blocks a connection.
#include "tests/program/program_fixture.h"

#include "update/shell/connection_report.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>

#include <cstdlib>
#include <string>

namespace ckupdate::testing {
namespace {

class ConnectionReportTest : public ProgramTest {
protected:
    // No BlueZ of the machine's: the system bus is a socket nobody listens on.
    void SetUp() override {
        ProgramTest::SetUp();
        const char* bus = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
        if (bus != nullptr) saved_bus_ = bus;
        had_bus_ = bus != nullptr;
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + dir_.path().toStdString() + "/no-bus").c_str(), 1);
    }
    void TearDown() override {
        if (had_bus_) ::setenv("DBUS_SYSTEM_BUS_ADDRESS", saved_bus_.c_str(), 1);
        else ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
        ProgramTest::TearDown();
    }
    std::string saved_bus_;
    bool had_bus_ = false;

    TConnectionReport* Report() { return Main().findChild<TConnectionReport*>(QStringLiteral("frmConnectionReport")); }
    QString Verdict() { return Report()->findChild<QLabel*>(QStringLiteral("lblVerdict"))->text(); }
};

TEST_F(ConnectionReportTest, NamesTheLoadedLibraryAndTheWayToTheInstrument) {
    // Nothing serves the USB channel yet: the report says what blocks and how to fix it.
    Launch({QStringLiteral("-cFW_Select")});
    ASSERT_NE(nullptr, Main().smInfoConnectionCheck());
    Main().smInfoConnectionCheck()->trigger();
    ASSERT_NE(nullptr, Report());
    EXPECT_TRUE(Report()->isVisible());
    const QString blocked = Report()->ReportText();
    EXPECT_TRUE(blocked.contains(QRegularExpression(QStringLiteral("^ok: libTOLA_comm .*loaded from .*libTOLA_comm\\.so"),
                                                    QRegularExpression::MultilineOption)))
        << blocked.toStdString();
    EXPECT_TRUE(blocked.contains(QStringLiteral("problem: no way to an instrument is open"))) << blocked.toStdString();
    EXPECT_TRUE(blocked.contains(QStringLiteral("fix: ")));
    EXPECT_TRUE(Verdict().startsWith(QStringLiteral("Something blocks")));

    // A virtual instrument on the USB channel; "Check again" sees it, in the same window.
    StartInstruments({UsbChromatikV()});
    Report()->findChild<QPushButton*>(QStringLiteral("btnCheckAgain"))->click();
    const QString open = Report()->ReportText();
    EXPECT_TRUE(open.contains(QRegularExpression(QStringLiteral("^ok: USB channel folder .*answering"),
                                                 QRegularExpression::MultilineOption)))
        << open.toStdString();
    EXPECT_TRUE(Verdict().startsWith(QStringLiteral("Nothing blocks")));
    Main().smInfoConnectionCheck()->trigger();
    EXPECT_EQ(1, Main().findChildren<TConnectionReport*>().size());
}

}  // namespace
}  // namespace ckupdate::testing
