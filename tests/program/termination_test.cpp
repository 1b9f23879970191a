// A session logout (SIGTERM), a closed terminal (SIGHUP) and Ctrl-C (SIGINT)
// during an update are refused like the close button, and the update
// completes; when no update runs the program ends cleanly on SIGTERM.
#include "tests/program/program_fixture.h"

#include "update/shell/termination_requests.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>

#include <signal.h>
#include <unistd.h>

namespace ckupdate::testing {
namespace {

using TerminationTest = ProgramTest;

// The windows of the program in this process, with the program's own routing
// of the signals; the signals are sent to this process.
TEST_F(TerminationTest, SignalsDuringAnUpdateAreRefusedAndTheUpdateCompletes) {
    StartInstruments({UsbChromatikV()});
    Launch({QStringLiteral("-cFW_Select")});
    auto* requests = new TTerminationRequests(Main());
    ASSERT_TRUE(requests->Routed());
    ASSERT_TRUE(WaitForUpdateDialog());
    QSignalSpy closed(&Main(), &TfrmMain::Closed);

    QTest::mouseClick(Update().btnUpdateFW_CKV(), Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([this] { return Update().StepStateOf(2) == StepState::Busy; }, 10000));
    for (int s : {SIGTERM, SIGHUP, SIGINT}) {
        const int before = CountTraces("close requested (signal");
        ASSERT_EQ(0, ::kill(::getpid(), s));
        ASSERT_TRUE(WaitUntil([&] { return CountTraces("close requested (signal") > before; }, 5000)) << s;
    }
    EXPECT_EQ(1, CountTraces("close requested (signal " + std::to_string(SIGTERM) + ")"));
    EXPECT_EQ(1, CountTraces("close requested (signal " + std::to_string(SIGHUP) + ")"));
    EXPECT_EQ(1, CountTraces("close requested (signal " + std::to_string(SIGINT) + ")"));
    EXPECT_TRUE(Update().UpdateRunning());
    EXPECT_TRUE(Main().isVisible());
    ASSERT_EQ(3u, boxes_.size());
    for (const BoxRequest& box : boxes_)
        EXPECT_EQ(QStringLiteral("An update is running. Please wait until it has ended."), box.text);

    ASSERT_TRUE(WaitUntil([this] { return !Update().UpdateRunning(); }, 60000));
    EXPECT_EQ(StepState::Done, Update().StepStateOf(5));
    EXPECT_EQ("512bLE", Instrument().firmware());
    EXPECT_EQ(0, closed.count());

    // Idle, the same request closes the program.
    Update().reject();
    ASSERT_EQ(0, ::kill(::getpid(), SIGTERM));
    ASSERT_TRUE(WaitUntil([&] { return closed.count() == 1; }, 10000));
    EXPECT_FALSE(Main().isVisible());
    EXPECT_FALSE(Main().ConnectionThread()->isRunning());
    EXPECT_EQ(3u, boxes_.size());
}

// The program itself, idle: SIGTERM ends it with status 0 after the close that
// stores its settings.
TEST_F(TerminationTest, ProgramEndsCleanlyOnSigtermWhenIdle) {
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/Tola_CK_Update");
    ASSERT_TRUE(QFileInfo::exists(program));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* folder : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
        const QString path = dir_.path() + QLatin1Char('/') + QLatin1String(folder);
        ASSERT_TRUE(QDir().mkpath(path));
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        env.insert(QLatin1String(folder), path);
    }
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // What is asked here is a clean end by SIGTERM; the program's leaks at exit
    // (Qt's never-freed objects) are the in-process tests' business.
    env.insert(QStringLiteral("ASAN_OPTIONS"), env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":detect_leaks=0"));
    env.insert(QStringLiteral("TOLA_REPORT_FIRST_PAINT"), QStringLiteral("1"));
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, {QStringLiteral("-cFW_Select")});
    ASSERT_TRUE(p.waitForStarted(10000));
    QByteArray err;
    ASSERT_TRUE(WaitUntil(
        [&] {
            p.waitForReadyRead(50);
            err += p.readAllStandardError();
            return err.contains("first-paint-epoch-ms") || p.state() == QProcess::NotRunning;
        },
        30000))
        << err.toStdString();
    ASSERT_EQ(QProcess::Running, p.state()) << err.toStdString();

    ASSERT_EQ(0, ::kill(static_cast<pid_t>(p.processId()), SIGTERM));
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(QProcess::NormalExit, p.exitStatus());
    EXPECT_EQ(0, p.exitCode()) << err.toStdString();
    const QSettings stored(dir_.path() + QStringLiteral("/XDG_CONFIG_HOME/TOLA/CK-Update.ini"), QSettings::IniFormat);
    EXPECT_TRUE(stored.contains(QStringLiteral("Position/FRMMAIN_L")));
}

}  // namespace
}  // namespace ckupdate::testing
