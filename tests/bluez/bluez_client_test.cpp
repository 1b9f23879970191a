// The BlueZ client: its search against a mocked BlueZ on a private bus, its
// failures when BlueZ or the bus is absent, and its byte stream against the
// Bluetooth side of a virtual instrument.
#include "bridge/bluez/client.h"
#include "comm/platform/bt_client_api.h"
#include "sim/simulator.h"

#include <gtest/gtest.h>
#include <systemd/sd-bus.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

extern "C" {
int32_t TolaBtClientInit(void);
int32_t TolaBtClientConnect(void);
int32_t TolaBtClientDisConnect(void);
int32_t TolaBtClientDiscoverDevices(BT_DEVICES* devices);
int32_t TolaBtClientSetDevice(BT_DEVICE* device);
int32_t TolaBtClientReadFile(void* buffer, uint32_t length, uint32_t* bytes_read);
int32_t TolaBtClientWriteFile(const void* buffer, uint32_t length, uint32_t* bytes_written);
int32_t TolaBtClientClearBuffer(void);
int32_t TolaBtClientGetRadioCount(int32_t value);
int32_t TolaBtClientGetConnectionStatus(int32_t handle);
}

extern char** environ;

namespace tola::testing {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr const char* kPython = "/usr/bin/python3";

pid_t spawn(const std::vector<std::string>& args, int output_fd = -1) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (output_fd >= 0) posix_spawn_file_actions_adddup2(&actions, output_fd, 3);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

void end(pid_t& pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    pid = -1;
}

struct BusDeleter {
    void operator()(sd_bus* b) const { sd_bus_flush_close_unref(b); }
};

// A dbus-daemon of our own, standing in for the system bus: the client finds
// it through DBUS_SYSTEM_BUS_ADDRESS.
class PrivateBus : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tola-bluez-XXXXXX";
        ASSERT_NE(nullptr, ::mkdtemp(pattern));
        dir_ = pattern;
        if (::access(kPython, X_OK) != 0) GTEST_SKIP() << "no " << kPython << " (scripts/bootstrap.sh installs it)";
        int pipe_fds[2];
        ASSERT_EQ(0, ::pipe(pipe_fds));
        const std::string address = "unix:path=" + (dir_ / "bus").string();
        daemon_ = spawn({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + address,
                         "--print-address=3"},
                        pipe_fds[1]);
        ::close(pipe_fds[1]);
        ASSERT_GT(daemon_, 0) << "dbus-daemon cannot be started";
        // The daemon prints its address once it accepts connections.
        char line[512] = {};
        const ssize_t n = ::read(pipe_fds[0], line, sizeof line - 1);
        ::close(pipe_fds[0]);
        ASSERT_GT(n, 0) << "dbus-daemon did not start";
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
        ::setenv("TOLA_BT_SCAN_MS", "100", 1);
    }

    void TearDown() override {
        end(mock_);
        end(daemon_);
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    std::unique_ptr<sd_bus, BusDeleter> bus() {
        sd_bus* b = nullptr;
        EXPECT_GE(sd_bus_open_system(&b), 0);
        return std::unique_ptr<sd_bus, BusDeleter>(b);
    }

    // Starts the BlueZ mock and waits until it owns its name.
    void start_bluez() {
        auto b = bus();
        ASSERT_GE(sd_bus_match_signal(b.get(), nullptr, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                      "org.freedesktop.DBus", "NameOwnerChanged", nullptr, nullptr),
                  0);
        mock_ = spawn({kPython, "-m", "dbusmock", "--template", "bluez5"});
        ASSERT_GT(mock_, 0);
        const auto deadline = std::chrono::steady_clock::now() + 15s;
        for (;;) {
            int owned = 0;
            sd_bus_error e = SD_BUS_ERROR_NULL;
            sd_bus_message* reply = nullptr;
            if (sd_bus_call_method(b.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                   "NameHasOwner", &e, &reply, "s", "org.bluez") >= 0) {
                sd_bus_message_read(reply, "b", &owned);
                sd_bus_message_unref(reply);
            }
            sd_bus_error_free(&e);
            if (owned) return;
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the BlueZ mock did not start (python3-dbusmock?)";
            while (sd_bus_process(b.get(), nullptr) > 0) {
            }
            sd_bus_wait(b.get(), 1000000);  // until the next owner change
        }
    }

    void mock_call(const char* method, const char* signature, const char* a, const char* b2,
                   const char* c = nullptr) {
        auto b = bus();
        sd_bus_error e = SD_BUS_ERROR_NULL;
        const int rc = c ? sd_bus_call_method(b.get(), "org.bluez", "/", "org.bluez.Mock", method, &e, nullptr, signature, a, b2, c)
                         : sd_bus_call_method(b.get(), "org.bluez", "/", "org.bluez.Mock", method, &e, nullptr, signature, a, b2);
        EXPECT_GE(rc, 0) << method << ": " << (e.message ? e.message : "");
        sd_bus_error_free(&e);
    }

    bool discovering(const char* adapter) {
        auto b = bus();
        sd_bus_error e = SD_BUS_ERROR_NULL;
        int on = 0;
        sd_bus_get_property_trivial(b.get(), "org.bluez", adapter, "org.bluez.Adapter1", "Discovering", &e, 'b', &on);
        sd_bus_error_free(&e);
        return on != 0;
    }

    fs::path dir_;
    pid_t daemon_ = -1;
    pid_t mock_ = -1;
};

TEST_F(PrivateBus, SearchFindsTheDevicesOfEveryAdapter) {
    start_bluez();
    mock_call("AddAdapter", "ss", "hci0", "workshop");
    mock_call("AddAdapter", "ss", "hci1", "dongle");
    mock_call("AddDevice", "sss", "hci0", "00:80:25:AB:CD:02", "TOLA Chromatik V H51234");
    mock_call("AddDevice", "sss", "hci0", "00:80:25:AB:CD:01", "TOLA Chromatik V H50001");
    mock_call("AddDevice", "sss", "hci1", "11:22:33:44:55:66", "Headset");

    EXPECT_EQ(2, TolaBtClientGetRadioCount(0));
    BT_DEVICES devices;
    std::memset(&devices, 0xAA, sizeof devices);
    ASSERT_EQ(1, TolaBtClientDiscoverDevices(&devices));
    ASSERT_EQ(3u, devices.iCount);
    EXPECT_STREQ("00:80:25:AB:CD:01", devices.qBtDevice[0].snBtAddress);
    EXPECT_STREQ("TOLA Chromatik V H50001", devices.qBtDevice[0].snBtDeviceName);
    EXPECT_STREQ("00:80:25:AB:CD:02", devices.qBtDevice[1].snBtAddress);
    EXPECT_STREQ("TOLA Chromatik V H51234", devices.qBtDevice[1].snBtDeviceName);
    EXPECT_STREQ("11:22:33:44:55:66", devices.qBtDevice[2].snBtAddress);
    EXPECT_STREQ("Headset", devices.qBtDevice[2].snBtDeviceName);
    EXPECT_EQ(0, devices.qBtDevice[3].snBtAddress[0]) << "entries past the count are cleared";
    // The search leaves the radios as it found them.
    EXPECT_FALSE(discovering("/org/bluez/hci0"));
    EXPECT_FALSE(discovering("/org/bluez/hci1"));
}

// A radio the user switched off is on only while the search runs, whether the
// search succeeds or the radio cannot search.
TEST_F(PrivateBus, ARadioSwitchedOffIsSwitchedOffAgainAfterTheSearch) {
    start_bluez();
    mock_call("AddAdapter", "ss", "hci0", "workshop");
    mock_call("AddDevice", "sss", "hci0", "00:80:25:AB:CD:01", "TOLA Chromatik V H50001");
    auto b = bus();
    for (const bool refused : {false, true}) {
        SCOPED_TRACE(refused ? "discovery refused" : "discovery runs");
        sd_bus_error e = SD_BUS_ERROR_NULL;
        ASSERT_GE(sd_bus_set_property(b.get(), "org.bluez", "/org/bluez/hci0", "org.bluez.Adapter1", "Powered", &e, "b", 0),
                  0);
        if (refused) {
            ASSERT_GE(sd_bus_call_method(b.get(), "org.bluez", "/org/bluez/hci0", "org.freedesktop.DBus.Mock", "AddMethod",
                                         &e, nullptr, "sssss", "org.bluez.Adapter1", "StartDiscovery", "", "",
                                         "raise dbus.exceptions.DBusException('Resource Not Ready', "
                                         "name='org.bluez.Error.NotReady')"),
                      0)
                << (e.message ? e.message : "");
        }
        BT_DEVICES devices;
        std::memset(&devices, 0xAA, sizeof devices);
        EXPECT_EQ(refused ? 0 : 1, TolaBtClientDiscoverDevices(&devices)) << "a radio that cannot search fails it";
        EXPECT_EQ(refused ? 0u : 1u, devices.iCount);
        int powered = 1;
        ASSERT_GE(sd_bus_get_property_trivial(b.get(), "org.bluez", "/org/bluez/hci0", "org.bluez.Adapter1", "Powered",
                                              &e, 'b', &powered),
                  0);
        sd_bus_error_free(&e);
        EXPECT_EQ(0, powered) << "the user's choice stands after the search";
    }
}

TEST_F(PrivateBus, PairedAndSerialPortDevicesComeBeforeTheListIsCut) {
    start_bluez();
    mock_call("AddAdapter", "ss", "hci0", "workshop");
    for (int i = 0; i < 55; ++i) {
        char address[18];
        std::snprintf(address, sizeof address, "00:00:00:00:00:%02X", i);
        mock_call("AddDevice", "sss", "hci0", address, "Phone");
    }
    mock_call("AddDevice", "sss", "hci0", "FF:00:00:00:00:01", "TOLA Chromatik V H50001");
    mock_call("AddDevice", "sss", "hci0", "FF:00:00:00:00:02", "TOLA Chromatik V H50002");
    auto b = bus();
    sd_bus_error e = SD_BUS_ERROR_NULL;
    EXPECT_GE(sd_bus_call_method(b.get(), "org.bluez", "/", "org.bluez.Mock", "PairDevice", &e, nullptr, "ssu", "hci0",
                                 "FF:00:00:00:00:02", 0x1f00u),
              0)
        << (e.message ? e.message : "");
    sd_bus_error_free(&e);
    const char* spp[] = {"00001101-0000-1000-8000-00805F9B34FB"};
    sd_bus_message* set = nullptr;
    ASSERT_GE(sd_bus_message_new_method_call(b.get(), &set, "org.bluez", "/org/bluez/hci0/dev_FF_00_00_00_00_01",
                                             "org.freedesktop.DBus.Properties", "Set"),
              0);
    sd_bus_message_append(set, "ss", "org.bluez.Device1", "UUIDs");
    sd_bus_message_open_container(set, 'v', "as");
    sd_bus_message_append_strv(set, const_cast<char**>(std::array<const char*, 2>{spp[0], nullptr}.data()));
    sd_bus_message_close_container(set);
    EXPECT_GE(sd_bus_call(b.get(), set, 0, &e, nullptr), 0) << (e.message ? e.message : "");
    sd_bus_message_unref(set);
    sd_bus_error_free(&e);

    BT_DEVICES devices;
    ASSERT_EQ(1, TolaBtClientDiscoverDevices(&devices));
    ASSERT_EQ(50u, devices.iCount);
    EXPECT_STREQ("FF:00:00:00:00:01", devices.qBtDevice[0].snBtAddress) << "offers the Serial Port service";
    EXPECT_STREQ("FF:00:00:00:00:02", devices.qBtDevice[1].snBtAddress) << "paired";
    EXPECT_STREQ("00:00:00:00:00:00", devices.qBtDevice[2].snBtAddress);
}

TEST_F(PrivateBus, NoAdapterIsAFailedSearch) {
    start_bluez();
    EXPECT_EQ(0, TolaBtClientGetRadioCount(0));
    BT_DEVICES devices;
    std::memset(&devices, 0xAA, sizeof devices);
    EXPECT_EQ(0, TolaBtClientDiscoverDevices(&devices));
    EXPECT_EQ(0u, devices.iCount);
}

TEST_F(PrivateBus, WithoutBluezTheSearchFailsAndNothingBreaks) {
    BT_DEVICES devices;
    std::memset(&devices, 0xAA, sizeof devices);
    EXPECT_EQ(0, TolaBtClientDiscoverDevices(&devices));
    EXPECT_EQ(0u, devices.iCount);
    EXPECT_EQ(0, devices.qBtDevice[0].snBtAddress[0]);
    EXPECT_EQ(0, TolaBtClientGetRadioCount(0));
    // No bus at all.
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + (dir_ / "nobody").string()).c_str(), 1);
    EXPECT_EQ(0, TolaBtClientDiscoverDevices(&devices));
    EXPECT_EQ(0, TolaBtClientGetRadioCount(0));
}

// The byte stream: the connector reaches the virtual instrument's Bluetooth face.
class ByteStream : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tola-bluez-XXXXXX";
        ASSERT_NE(nullptr, ::mkdtemp(pattern));
        dir_ = pattern;
        sim_ = std::make_unique<sim::Simulator>(dir_ / "usb", dir_ / "bt");
        sim::InstrumentConfig c;
        c.kind = 10;
        c.bt_address = "00:80:25:AB:CD:07";
        sim_->add(c);
        sim_->start();
        bluez::set_connector(bluez::Connector{
            [this](const bluez::Address&, std::string& error) -> std::optional<int> {
                if (record_channel_) return record_channel_;
                error = "no record in this test";
                return std::nullopt;
            },
            [this](const bluez::Address& a, int channel, std::string& error) {
                channels_.push_back(channel);
                char text[18];
                std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", a[0], a[1], a[2], a[3], a[4], a[5]);
                return connect_unix(dir_ / "bt" / text, error);
            }});
    }

    void TearDown() override {
        TolaBtClientDisConnect();
        bluez::set_connector(bluez::rfcomm_connector());
        sim_.reset();
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    static int connect_unix(const fs::path& path, std::string& error) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
            error = std::strerror(errno);
            ::close(fd);
            return -1;
        }
        return fd;
    }

    static void select(const char* address) {
        BT_DEVICE d{};
        std::strncpy(d.snBtAddress, address, sizeof d.snBtAddress - 1);
        ASSERT_EQ(1, TolaBtClientSetDevice(&d));
    }

    // Reads without waiting, as the library does: again and again until the bytes are there.
    static std::vector<std::uint8_t> read_some(std::size_t want) {
        std::vector<std::uint8_t> got;
        const auto deadline = std::chrono::steady_clock::now() + 3s;
        while (got.size() < want && std::chrono::steady_clock::now() < deadline) {
            std::uint8_t buffer[64];
            uint32_t n = 0;
            if (!TolaBtClientReadFile(buffer, sizeof buffer, &n)) break;
            got.insert(got.end(), buffer, buffer + n);
            if (n == 0) std::this_thread::sleep_for(5ms);
        }
        return got;
    }

    fs::path dir_;
    std::unique_ptr<sim::Simulator> sim_;
    std::optional<int> record_channel_;
    std::vector<int> channels_;
};

TEST_F(ByteStream, TheInstrumentAnswersTheLinkCheckThroughTheClient) {
    select("00:80:25:ab:cd:07");
    const int32_t handle = TolaBtClientConnect();
    ASSERT_GT(handle, 0);
    EXPECT_EQ(std::vector<int>{1}, channels_) << "without a service record the client takes channel 1";
    EXPECT_EQ(1, TolaBtClientGetConnectionStatus(handle));
    EXPECT_EQ(0, TolaBtClientGetConnectionStatus(handle + 1));

    const std::uint8_t check = 1;
    uint32_t written = 0;
    ASSERT_EQ(1, TolaBtClientWriteFile(&check, 1, &written));
    EXPECT_EQ(1u, written);
    EXPECT_EQ(std::vector<std::uint8_t>{230}, read_some(1));
    EXPECT_EQ(1, TolaBtClientClearBuffer());

    // The instrument goes away: the status says so.
    sim_.reset();
    EXPECT_TRUE(read_some(1).empty());
    EXPECT_EQ(0, TolaBtClientGetConnectionStatus(handle));
    EXPECT_EQ(1, TolaBtClientDisConnect());
    uint32_t n = 5;
    std::uint8_t b = 0;
    EXPECT_EQ(0, TolaBtClientReadFile(&b, 1, &n));
    EXPECT_EQ(0u, n);
}

TEST_F(ByteStream, TheServiceRecordsChannelIsUsed) {
    record_channel_ = 5;
    select("00:80:25:AB:CD:07");
    EXPECT_GT(TolaBtClientConnect(), 0);
    EXPECT_EQ(std::vector<int>{5}, channels_);
}

TEST_F(ByteStream, AFailedConnectGivesNoHandle) {
    select("");
    EXPECT_EQ(-1, TolaBtClientConnect()) << "no device chosen";
    select("not an address");
    EXPECT_EQ(-1, TolaBtClientConnect());
    EXPECT_TRUE(channels_.empty());
    select("00:80:25:AB:CD:08");  // nobody there: the connect is refused
    EXPECT_EQ(-1, TolaBtClientConnect());
    EXPECT_EQ(0, TolaBtClientGetConnectionStatus(0));
    uint32_t written = 7;
    const std::uint8_t b = 1;
    EXPECT_EQ(0, TolaBtClientWriteFile(&b, 1, &written));
    EXPECT_EQ(0u, written);
    // A refused connect leaves the client usable.
    select("00:80:25:AB:CD:07");
    EXPECT_GT(TolaBtClientConnect(), 0);
}

}  // namespace
}  // namespace tola::testing
