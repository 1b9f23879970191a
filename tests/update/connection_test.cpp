// Opening and closing the instrument: the device-type question, the table of
// names and processor types, the job flags; and the update history file.
#include "tests/update/fake_library.h"

#include "update/firmware/update_history.h"
#include "update/device/device_connection.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <cstring>

namespace ckupdate::testing {
namespace {

class ConnectionTest : public ::testing::Test {
protected:
    void SetUp() override { fake() = FakeLibrary{}; }
    CommFunctions table = FakeFunctions();
    TDeviceConnection connection{CommApi(&table)};
};

TEST(DeviceKinds, TableOfNamesAndProcessors) {
    EXPECT_STREQ("Chromatik\xAE Superna", DeviceKindFor(1234).name);
    EXPECT_EQ(1u, DeviceKindFor(1234).cpuType);
    EXPECT_EQ(2u, DeviceKindFor(3234).cpuType);
    EXPECT_STREQ("Chromatik\xAE Portivo", DeviceKindFor(4324).name);
    EXPECT_EQ(2u, DeviceKindFor(4324).cpuType);
    EXPECT_STREQ("Chromatik\xAE V", DeviceKindFor(5324).name);
    EXPECT_EQ(3u, DeviceKindFor(5324).cpuType);
    EXPECT_STREQ("Chromatik\xAE Portivo", DeviceKindFor(77).name);
    EXPECT_EQ(1u, DeviceKindFor(77).cpuType);
}

TEST_F(ConnectionTest, OpenAsksTheDeviceTypeAndSetsTheDetails) {
    ASSERT_EQ(1, connection.OpenDev());
    EXPECT_EQ(5324u, connection.DevInfo().Device);
    EXPECT_EQ(3u, connection.DevInfo().CpuType);
    EXPECT_EQ(QStringLiteral("511vLE"), connection.DevInfo().FirmwareVersion);
    EXPECT_STREQ("Chromatik\xAE V", connection.PortData().snDevice);
    EXPECT_EQ(job::kTest, connection.JobFlags());
    const auto question = fake().calls_named("send_command_ex");
    ASSERT_EQ(1u, question.size());
    EXPECT_EQ(21, question[0].a);
    EXPECT_EQ(64, question[0].b);
    EXPECT_EQ(7, fake().calls_named("poll_set_details").at(0).a);
}

TEST_F(ConnectionTest, FailedQuestionLeavesTheProcessorUnknown) {
    fake().fail_next[{"send_command_ex", 21}] = 1;
    ASSERT_EQ(1, connection.OpenDev());
    EXPECT_EQ(0u, connection.DevInfo().CpuType);
}

TEST_F(ConnectionTest, JobFlagsFollowTheOpenResult) {
    fake().open_results = {2, 4, 3, 0, 7};
    EXPECT_EQ(2, connection.OpenDev());
    EXPECT_EQ(job::kWatchOpen, connection.JobFlags());
    EXPECT_EQ(4, connection.OpenDev());
    EXPECT_EQ(job::kWatchOpen, connection.JobFlags());
    EXPECT_EQ(3, connection.OpenDev());
    EXPECT_EQ(job::kReconnect, connection.JobFlags());
    EXPECT_EQ(0, connection.OpenDev());
    EXPECT_EQ(job::kReconnect, connection.JobFlags());
    connection.PortData().iPort = kPortBluetooth;
    fake().open_results = {3};
    EXPECT_EQ(3, connection.OpenDev());
    EXPECT_EQ(job::kDisconnect, connection.JobFlags());
}

TEST_F(ConnectionTest, CloseKeepsThePortAndForgetsTheProcessor) {
    connection.PortData().iPort = kPortBluetooth;
    ASSERT_EQ(1, connection.OpenDev());
    connection.SetUSBWatchIdle(true);
    EXPECT_EQ(job::kTest | job::kWatchIdle, connection.JobFlags());
    connection.CloseDev();
    EXPECT_EQ(kPortBluetooth, connection.PortData().iPort);
    EXPECT_EQ(0u, connection.DevInfo().CpuType);
    EXPECT_EQ(0u, connection.DevInfo().Device);
    connection.SetUSBWatchIdle(false);
    EXPECT_EQ(job::kTest, connection.JobFlags());
}

TEST(UpdateHistory, AppendsAndReadsBackSkippingGarbage) {
    QTemporaryDir dir;
    const QString file = dir.path() + "/h.jsonl";
    UpdateRecord r;
    r.serial = "H51234";
    r.fromRelease = "511vLE";
    r.toRelease = "512bLE";
    r.result = "succeeded";
    r.step = 5;
    r.durationMs = 12345;
    ASSERT_TRUE(AppendUpdateRecord(file, r));
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write("not json\n");
    }
    r.result = "failed";
    r.step = 2;
    ASSERT_TRUE(AppendUpdateRecord(file, r));
    const auto records = ReadUpdateHistory(file);
    ASSERT_EQ(2, records.size());
    EXPECT_EQ(QStringLiteral("succeeded"), records[0].result);
    EXPECT_EQ(12345, records[0].durationMs);
    EXPECT_EQ(2, records[1].step);
    EXPECT_FALSE(AppendUpdateRecord(dir.path() + "/no/such/dir/h.jsonl", r));
}

}  // namespace
}  // namespace ckupdate::testing
