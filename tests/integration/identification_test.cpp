// How the search tells devices apart, what the connection test reports when an
// instrument stops answering, and the handles and records it must never
// mistake: a descriptor 0, a record of another size.
#include "comm/links/serial/serial_link.h"
#include "comm/platform/clock.h"
#include "platform/private_folder.h"
#include "sim_fixture.h"
#include "tests/support/descriptor_only_device.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <optional>
#include <string>

namespace tola::testing {
namespace {

using Identity = DescriptorOnlyDevice::Identity;

class Identification : public SimTest {
protected:
    void TearDown() override {
        device_.reset();
        SimTest::TearDown();
    }

    // A device that only answers its descriptor, as the driver's first device.
    void plug(std::optional<Identity> identity) {
        std::string error;
        ASSERT_TRUE(tola::os::make_private_folder(dir_ / "usb", error)) << error;  // the library trusts no other
        device_ = std::make_unique<DescriptorOnlyDevice>((dir_ / "usb" / "Chrmtk0-0").string(), identity);
    }

    std::unique_ptr<DescriptorOnlyDevice> device_;
};

TEST_F(Identification, DeviceOfAnotherVendorIsNoInstrument) {
    plug(Identity{0x1234, 0x5678, 0x0100});
    EXPECT_EQ(3, connect());
    EXPECT_NE(0u, comm_.tStatus & TOLA_STATUS_WRONG_DEVICE);
    EXPECT_STREQ("PXM Unknown Device", comm_.snDevice);
    EXPECT_EQ(0x1234u, comm_.dVID);
    EXPECT_EQ(0x5678u, comm_.dPID);
}

TEST_F(Identification, RenesasPartInAnotherRoleConnectsUnderItsName) {
    plug(Identity{0x045B, 0x0010, 0x0100});
    EXPECT_EQ(1, connect());
    EXPECT_STREQ("Renesas unknown device", comm_.snDevice);
    EXPECT_EQ(0x11u, comm_.tStatus);
    EXPECT_EQ(0u, comm_.iDevice) << "no instrument kind";
}

TEST_F(Identification, ThirdChromatikProductConnectsWithoutFurtherAction) {
    plug(Identity{0xE1A7, 0x5063, 0x0100});
    EXPECT_EQ(1, connect());
    EXPECT_STREQ("", comm_.snDevice);
    EXPECT_EQ(0u, comm_.iDevice);
    EXPECT_EQ(0x11u, comm_.tStatus);
}

TEST_F(Identification, UnreadableDescriptorFailsTheOpen) {
    plug(std::nullopt);
    EXPECT_EQ(3, connect());
    EXPECT_NE(0u, comm_.tStatus & TOLA_STATUS_DESCRIPTOR_FAILED);
}

TEST_F(Identification, AutomaticSearchLeavesAWrongDeviceAtOnce) {
    plug(Identity{0x1234, 0x5678, 0x0100});
    comm_.iPort = TOLA_PORT_SEARCH;
    EXPECT_EQ(3, iTOLA_comm_poll_initialize(&comm_));
    ASSERT_NE(0u, comm_.tStatus & TOLA_STATUS_WRONG_DEVICE);
    // The next step goes on to COM1 without giving USB its five seconds.
    EXPECT_EQ(2, iTOLA_comm_poll_initialize(&comm_));
    EXPECT_EQ(0, std::string(comm_.ssStatus).rfind("Testing RS232", 0)) << comm_.ssStatus;
    EXPECT_EQ(-1, comm_.hUSB) << "the wrong device is closed";
}

// A serial port whose instrument serves no known layout is left at once too:
// the step after the refusal already tests the next port, not the same one again.
TEST_F(Identification, AutomaticSearchLeavesAWrongSerialDeviceAtOnce) {
    sim::Instrument& instrument = start(config(8, 2, "CK0A.00.21.00"));
    use_serial_port(1, instrument);
    plug(Identity{0x1234, 0x5678, 0x0100});  // USB is left at once as well
    comm_.iPort = TOLA_PORT_SEARCH;
    EXPECT_EQ(3, iTOLA_comm_poll_initialize(&comm_));
    std::int32_t result = iTOLA_comm_poll_initialize(&comm_);
    ASSERT_NE(0u, comm_.tStatus & TOLA_STATUS_WRONG_DEVICE) << comm_.ssStatus;
    ASSERT_EQ(TOLA_STATUS_COM1, comm_.tStatus & (TOLA_STATUS_COM1 | TOLA_STATUS_COM2));
    EXPECT_EQ(-1, comm_.hRS232) << "the wrong device is closed";
    result = iTOLA_comm_poll_initialize(&comm_);
    EXPECT_EQ(2, result);
    EXPECT_EQ(TOLA_STATUS_COM2, comm_.tStatus & (TOLA_STATUS_COM1 | TOLA_STATUS_COM2)) << "COM2 is tested next";
    ::unsetenv("TOLA_COM1");
}

TEST_F(Identification, UsbTestReportsAnInstrumentThatStoppedAnswering) {
    sim::Instrument& instrument = start(config(4));
    ASSERT_EQ(1, connect());
    instrument.unplug();
    ASSERT_TRUE(instrument.wait_until_present(false, std::chrono::seconds(2)));
    usb::usb_state().last_success_tick.reset();  // no recent transfer vouches for the device
    EXPECT_EQ(0, bTOLA_comm_test());
    EXPECT_STREQ("USB failure, no responce", comm_.ssStatus);
    EXPECT_EQ(0x30000u, comm_.tStatus & 0x30000u);
}

TEST_F(Identification, SerialTestReportsTheSecondMissedAnswer) {
    sim::Instrument& instrument = start(config(8));
    use_serial_port(3, instrument);
    ASSERT_EQ(1, connect(TOLA_PORT_COM1 + 2));
    // A check byte went unanswered once already, and nothing came since.
    serial::LinkState& state = serial::link_state();
    state.last_read_tick = platform::tick_ms() - 60000;
    state.last_check_tick = platform::tick_ms() - 60000;
    state.check_pending = true;
    state.missed_answers = 1;
    ASSERT_TRUE(instrument.inject("mute=5"));
    EXPECT_EQ(0, bTOLA_comm_test());
    EXPECT_STREQ("RS232 failure, no responce", comm_.ssStatus);
    EXPECT_EQ(0x50000u, comm_.tStatus & 0x50000u);
}

TEST_F(Identification, BluetoothTestReportsALostConnection) {
    sim::Instrument& instrument = start(config(10));
    ASSERT_TRUE(instrument.wait_until_present(true, std::chrono::seconds(2)));
    BT_DEVICE device{};
    std::strcpy(device.snBtAddress, instrument.bt_address().c_str());
    TOLA_comm_bt_set_device_ex(&device, sizeof device);
    ASSERT_EQ(1, connect(TOLA_PORT_BLUETOOTH));
    instrument.unplug();
    ASSERT_TRUE(instrument.wait_until_present(false, std::chrono::seconds(2)));
    EXPECT_EQ(0, bTOLA_comm_test());
    EXPECT_STREQ("Bluetooth failure, no responce", comm_.ssStatus);
    EXPECT_EQ(0x50000u, comm_.tStatus & 0x50000u);
}

// A program started with standard input closed gets descriptor 0 from the
// first open: the library must not hand that out as a connection handle.
class StandardInputClosed : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        saved_stdin_ = ::fcntl(0, F_DUPFD_CLOEXEC, 3);
    }
    void TearDown() override {
        SimTest::TearDown();
        ::dup2(saved_stdin_, 0);
        ::close(saved_stdin_);
    }
    static void close_standard_input() { ::close(0); }

    int saved_stdin_ = -1;
};

TEST_F(StandardInputClosed, UsbHandleIsAboveTheStandardStreams) {
    start(config(4));
    close_standard_input();
    ASSERT_EQ(1, connect());
    EXPECT_GE(comm_.hUSB, 3);
    EXPECT_EQ(1, bTOLA_comm_test());
    // A reconnect of the same record keeps working. Descriptor 0 is not closed
    // again: by now it may be the virtual instrument's end of the first
    // connection, served by its thread in this process.
    TOLA_comm_close();
    ASSERT_EQ(1, connect());
    EXPECT_GE(comm_.hUSB, 3);
}

TEST_F(StandardInputClosed, SerialHandleIsAboveTheStandardStreams) {
    sim::Instrument& instrument = start(config(8));
    use_serial_port(3, instrument);
    close_standard_input();
    ASSERT_EQ(1, connect(TOLA_PORT_COM1 + 2));
    EXPECT_GE(comm_.hRS232, 3);
    EXPECT_EQ(1, bTOLA_comm_test());
}

// A record of another size: the open refuses it, and close closes the links
// but writes nothing into it.
TEST_F(Identification, CloseWritesNothingIntoARecordOfAnotherSize) {
    sim::Instrument& instrument = start(config(8));
    use_serial_port(3, instrument);
    ASSERT_EQ(1, connect(TOLA_PORT_COM1 + 2));

    // The caller's record is 600 bytes; what follows it is not the library's.
    std::array<std::uint8_t, sizeof(PXM_COMM)> memory{};
    memory.fill(0x5A);
    auto* shorter = reinterpret_cast<PXM_COMM*>(memory.data());
    shorter->dSize = 600;
    EXPECT_EQ(3, iTOLA_comm_poll_initialize(shorter));
    EXPECT_STREQ("Internal errror\r\nsizeof(PXM_COMM) != dSize", shorter->ssStatus);
    const auto after_open = memory;
    for (std::size_t i = 600; i < memory.size(); ++i) ASSERT_EQ(0x5A, memory[i]) << "byte " << i;

    TOLA_comm_close();
    EXPECT_EQ(after_open, memory) << "close wrote into the record";
    EXPECT_EQ(0, bTOLA_comm_test()) << "the record is still not valid";

    // The port the first record held is free again.
    PXM_COMM fresh{};
    fresh.dSize = sizeof fresh;
    fresh.iPort = TOLA_PORT_COM1 + 2;
    std::int32_t result = 2;
    for (int i = 0; i < 50 && result == 2; ++i) result = iTOLA_comm_poll_initialize(&fresh);
    EXPECT_EQ(1, result) << fresh.ssStatus;
    TOLA_comm_close();
    library_state().record = nullptr;
}

}  // namespace
}  // namespace tola::testing
