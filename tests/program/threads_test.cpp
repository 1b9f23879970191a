// The connection thread's job runs and the automation's state machine on a
// scripted library, without windows; the trace format; the wake-up event.
#include "tests/update/fake_library.h"

#include "update/shell/connection_thread.h"
#include "update/shell/dialog_services.h"
#include "update/shell/interface_section.h"
#include "update/shell/po_msg_thread.h"
#include "update/shell/shell_trace.h"
#include "update/program_trace.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace ckupdate::testing {
namespace {

class FakeHost final : public ConnectionThreadHost {
public:
    explicit FakeHost(CommApi api) : connection(api) {}
    void StatusPollTimerResume() override { ++resumes; }
    void StopStatusPolling() override { ++stops; }
    TDeviceConnection& Connection() override { return connection; }
    std::uint32_t PendingPort() const override { return pending; }
    TDeviceConnection connection;
    std::uint32_t pending = kPortUsb;
    std::atomic<int> resumes{0};
    int stops = 0;
};

class ConnectionCycleTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake() = FakeLibrary{};
        SetProgramTraceSink([this](const std::string& l) { traces.push_back(l.substr(l.rfind('\t') + 1)); });
    }
    void TearDown() override { SetProgramTraceSink({}); }
    int Calls(const char* name) { return static_cast<int>(fake().calls_named(name).size()); }
    std::vector<std::string> Jobs() const {
        std::vector<std::string> jobs;
        for (const auto& t : traces)
            if (t.find("csInterface.") == std::string::npos) jobs.push_back(t);
        return jobs;
    }

    CommFunctions table = FakeFunctions();
    FakeHost host{CommApi(&table)};
    TConnectionThread thread{host};
    std::vector<std::string> traces;
};

TEST_F(ConnectionCycleTest, InitialConnectOpensAndThenTests) {
    host.connection.SetJobFlags(job::kInitialConnect);
    thread.RunCycle();
    EXPECT_EQ(std::vector<std::string>({"TfrmMain/TConnectionThread: tj_ReconnectDev"}), Jobs());
    EXPECT_EQ(job::kTest, host.connection.JobFlags());
    // The same run tests the instrument it has just opened.
    EXPECT_EQ(1, Calls("test"));
    EXPECT_EQ("TfrmMain/TConnectionThread: csInterface.Acquired", traces.front());
    EXPECT_EQ("TfrmMain/TConnectionThread: csInterface.Released", traces.back());
}

TEST_F(ConnectionCycleTest, ThreeFailedTestsInARowCloseTheInstrument) {
    host.connection.SetJobFlags(job::kInitialConnect);
    thread.RunCycle();
    fake().fail_next[{"test", 0}] = 2;
    thread.RunCycle();
    thread.RunCycle();
    EXPECT_EQ(2, thread.FailedTests());
    EXPECT_EQ(job::kTest, host.connection.JobFlags());
    thread.RunCycle();  // succeeds: the count starts again
    EXPECT_EQ(0, thread.FailedTests());
    fake().fail_next[{"test", 0}] = 3;
    thread.RunCycle();
    thread.RunCycle();
    EXPECT_EQ(0, Calls("close"));
    thread.RunCycle();
    EXPECT_EQ(1, Calls("close"));
    EXPECT_EQ(job::kReconnect, host.connection.JobFlags());
    EXPECT_EQ(5, static_cast<int>(std::count(traces.begin(), traces.end(),
                                             "TfrmMain/TConnectionThread: ERROR - CKPcomm_test() failed")));
    // Only a success resets the count: after the reconnect one failure closes again.
    fake().fail_next[{"test", 0}] = 1;
    thread.RunCycle();  // reconnects and tests in the same run
    EXPECT_EQ(2, Calls("close"));
}

TEST_F(ConnectionCycleTest, WatchIdleBitKeepsEveryJobAway) {
    host.connection.SetJobFlags(job::kTest | job::kWatchIdle | job::kDisconnect | job::kCloseAndReconnect);
    thread.RunCycle();
    EXPECT_TRUE(Jobs().empty());
    EXPECT_EQ(2u, traces.size());
    EXPECT_EQ(0, Calls("test"));
    EXPECT_EQ(0, Calls("close"));
}

TEST_F(ConnectionCycleTest, BusySectionSkipsTheRun) {
    std::atomic<bool> held{false}, release{false};
    std::thread other([&] {
        TInterfaceLock lock;
        lock.Enter();
        held = true;
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    while (!held) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    host.connection.SetJobFlags(job::kInitialConnect);
    thread.RunCycle();
    release = true;
    other.join();
    EXPECT_EQ(std::vector<std::string>({"TfrmMain/TConnectionThread: csInterface not avail"}), traces);
    EXPECT_EQ(job::kInitialConnect, host.connection.JobFlags());
}

TEST_F(ConnectionCycleTest, CloseAndReconnectSwitchesThePort) {
    host.connection.SetJobFlags(job::kTest | job::kCloseAndReconnect);
    host.pending = kPortBluetooth;
    thread.RunCycle();
    EXPECT_EQ(1, Calls("close"));
    EXPECT_EQ(kPortBluetooth, host.connection.PortData().iPort);
    EXPECT_EQ(job::kTest, host.connection.JobFlags());
    EXPECT_EQ("TfrmMain/TConnectionThread: tj_CloseAndReConnect", Jobs().at(0));
}

TEST_F(ConnectionCycleTest, OpenResultsChooseTheNextJob) {
    fake().open_results = {2, 2, 3};
    host.connection.SetJobFlags(job::kReconnect);
    thread.RunCycle();  // 2: watch-open, tried again in the same run
    EXPECT_EQ(std::vector<std::string>({"TfrmMain/TConnectionThread: tj_ReconnectDev",
                                        "TfrmMain/TConnectionThread: tj_WatchOpenDev"}),
              Jobs());
    EXPECT_EQ(job::kWatchOpen, host.connection.JobFlags());
    host.connection.PortData().iPort = kPortBluetooth;
    thread.RunCycle();  // 3 over Bluetooth: disconnect, in the same run
    EXPECT_EQ(0, host.connection.JobFlags());
    EXPECT_EQ(1, host.stops);
}

TEST_F(ConnectionCycleTest, DisconnectStopsPollingAndCloses) {
    host.connection.SetJobFlags(job::kDisconnect);
    thread.RunCycle();
    EXPECT_EQ(std::vector<std::string>({"TfrmMain/TConnectionThread: tj_DisconnectDev"}), Jobs());
    EXPECT_EQ(1, host.stops);
    EXPECT_EQ(1, Calls("close"));
    EXPECT_EQ(0, host.connection.JobFlags());
}

TEST_F(ConnectionCycleTest, ThreadRunsOneCyclePerWakeUpAndEnds) {
    host.connection.SetJobFlags(job::kDisconnect);
    thread.Resume();  // starts the thread: the first run comes at once
    while (host.resumes.load() < 1) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(1, Calls("close"));
    host.connection.SetJobFlags(job::kDisconnect);
    thread.Terminate();  // one more run, then the end
    thread.wait();
    EXPECT_EQ(2, Calls("close"));
    EXPECT_EQ(1, host.resumes.load());
}

class RecordingAutomation final : public AutomationHost {
public:
    void PostDiscoverMenuCommand() override { posts.push_back("menu"); }
    void PostDiscoverSearchClick() override { posts.push_back("search"); }
    void PostDiscoverClose() override { posts.push_back("close"); }
    void PostUpdateButtonClick() override { posts.push_back("update"); }
    std::vector<std::string> posts;
};

TEST(Automation, WalksFromInitToTheSearchAndFromConnectedToTheUpdate) {
    RecordingAutomation host;
    TPoMsgThread t(host);
    EXPECT_EQ(TProcessState::psIdle, t.ProcessState());
    EXPECT_FALSE(t.HasNewState());

    t.SetProcessState(TProcessState::psInit);
    EXPECT_TRUE(t.HasNewState());
    EXPECT_FALSE(t.HasNewState());  // reading clears the mark
    t.Step();
    EXPECT_EQ(TProcessState::psDisoverShow, t.ProcessState());
    EXPECT_TRUE(t.HasNewState());
    t.Step();
    EXPECT_EQ(std::vector<std::string>({"menu"}), host.posts);
    EXPECT_EQ(TProcessState::psDiscovering, t.ProcessState());
    EXPECT_TRUE(t.HasNewState());
    t.Step();
    EXPECT_EQ(TProcessState::psIdle, t.ProcessState());
    EXPECT_FALSE(t.HasNewState());  // set directly: no further step
    EXPECT_EQ(std::vector<std::string>({"menu", "search"}), host.posts);

    t.SetProcessState(TProcessState::psDiscoveredSingle);
    t.Step();
    EXPECT_EQ(TProcessState::psConnect, t.ProcessState());
    t.Step();  // psConnect: nothing
    t.SetProcessState(TProcessState::psConnected);
    t.Step();
    EXPECT_EQ(TProcessState::psIdle, t.ProcessState());
    EXPECT_EQ(std::vector<std::string>({"menu", "search", "close", "update"}), host.posts);

    // Several devices or none: the dialog stays for the user.
    t.SetProcessState(TProcessState::psDiscoveredMultiple);
    t.Step();
    t.SetProcessState(TProcessState::psDiscoverFailed);
    t.Step();
    EXPECT_EQ(4u, host.posts.size());
}

// The window may answer a post before the automation thread runs again (a
// search that ends at once on a busy machine): the answer must survive the
// step that caused it, or the dialog waits for a close that never comes.
TEST(Automation, AnAnswerThatComesAtOnceIsNotOverwritten) {
    struct AnsweringHost final : AutomationHost {
        TPoMsgThread* thread = nullptr;
        void PostDiscoverMenuCommand() override {}
        void PostDiscoverSearchClick() override { thread->SetProcessState(TProcessState::psDiscoveredSingle); }
        void PostDiscoverClose() override { thread->SetProcessState(TProcessState::psConnected); }
        void PostUpdateButtonClick() override { thread->SetProcessState(TProcessState::psDiscoverFailed); }
    } host;
    TPoMsgThread t(host);
    host.thread = &t;
    const std::pair<TProcessState, TProcessState> steps[] = {
        {TProcessState::psDiscovering, TProcessState::psDiscoveredSingle},
        {TProcessState::psDiscoveredSingle, TProcessState::psConnected},
        {TProcessState::psConnected, TProcessState::psDiscoverFailed},
    };
    for (const auto& [from, answer] : steps) {
        t.SetProcessState(from);
        (void)t.HasNewState();
        t.Step();
        EXPECT_EQ(answer, t.ProcessState()) << static_cast<int>(from);
        EXPECT_TRUE(t.HasNewState()) << static_cast<int>(from);
    }
}

TEST(Automation, SameStateAgainIsNoNewState) {
    RecordingAutomation host;
    TPoMsgThread t(host);
    t.SetProcessState(TProcessState::psIdle);
    EXPECT_FALSE(t.HasNewState());
    t.SetProcessState(TProcessState::psConnected);
    t.SetProcessState(TProcessState::psConnected);
    EXPECT_FALSE(t.HasNewState());
}

TEST(Automation, ThreadStepsOncePerWakeUp) {
    RecordingAutomation host;
    TPoMsgThread t(host);
    t.SetProcessState(TProcessState::psConnected);
    t.Resume();
    while (t.ProcessState() != TProcessState::psIdle) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    t.Terminate();
    t.wait();
    EXPECT_EQ(std::vector<std::string>({"update"}), host.posts);
}

TEST(ShellTexts, TraceLineAndBoxText) {
    EXPECT_EQ("\t\t123456\tTfrmMain.smExtraDisconnectClick: Enter", MainTraceLine(123456, "TfrmMain.smExtraDisconnectClick: Enter"));
    EXPECT_EQ(QStringLiteral("(4011) Please restart\nX\nto activate"),
              BoxDisplayText(QStringLiteral("(4011) Please restart\n\rX\n\rto activate")));
    EXPECT_EQ(QStringLiteral("No update required.\nFirmware is up to date"),
              BoxDisplayText(QStringLiteral("No update required.\n\rFirmware is up to date\n\r")));
    EXPECT_EQ(QStringLiteral("a\nb\nc"), BoxDisplayText(QStringLiteral("a\r\nb\rc")));
}

}  // namespace
}  // namespace ckupdate::testing
