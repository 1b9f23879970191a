// Connecting over USB: the search steps, the identity in the record, the
// structure load of every later release, and the failures of the open.
#include "comm/structures/layout_release_table.h"
#include "comm/structures/structure_converter.h"
#include "comm/platform/clock.h"
#include "sim_fixture.h"

#include <string>

namespace tola::testing {
namespace {

using sim::EventKind;

class UsbConnection : public SimTest {};

TEST_F(UsbConnection, ChromatikVIsIdentifiedFromItsVersionBlock) {
    sim::InstrumentConfig c = config(4);
    c.firmware = "511vLE";
    c.serial = "H51234";
    start(c);
    ASSERT_EQ(1, connect());
    EXPECT_EQ(TOLA_DEVICE_USB_PORTIVO, comm_.iDevice);
    EXPECT_EQ(0x11u, comm_.tStatus);
    EXPECT_STREQ("Chromatik\xAE Portivo", comm_.snDevice);
    EXPECT_STREQ("511vLE", comm_.snVersion);
    EXPECT_STREQ("CK0A.00.31.00", comm_.snInterface);
    EXPECT_STREQ("H51234", comm_.snSerial_number);
    char name[501];
    ASSERT_EQ(1, bTOLA_comm_get_interface_name(name));
    EXPECT_STREQ("Chromatik\xAE Portivo - USB", name);
    EXPECT_EQ(1, bTOLA_comm_test());
    int32_t cpu = 0;
    ASSERT_EQ(1, bTOLA_comm_GetCpuType(&cpu));
    EXPECT_EQ(2, cpu);

    EXPECT_NE(0, TOLA_comm_close());
    EXPECT_EQ(-1, comm_.hUSB);
    EXPECT_EQ(0, bTOLA_comm_test());
}

TEST_F(UsbConnection, ReleaseMissingFromTheTableFailsTheOpen) {
    start(config(4, 2, "CK0A.00.21.00"));
    EXPECT_EQ(3, connect());
    EXPECT_NE(0u, comm_.tStatus & TOLA_STATUS_WRONG_DEVICE);
    EXPECT_STREQ("Software not loaded", comm_.ssStatus);
    EXPECT_STREQ("Chromatik\xAE Portivo", comm_.snDevice);
}

TEST_F(UsbConnection, FirstGenerationWithoutLoadableStructuresStillConnects) {
    start(config(1, 2, "CK0A.00.21.00"));
    ASSERT_EQ(1, connect());
    EXPECT_EQ(TOLA_DEVICE_USB_CHROMATIK, comm_.iDevice);
    EXPECT_NE(0u, comm_.tStatus & TOLA_STATUS_INTERFACED);
    EXPECT_NE(0u, comm_.tStatus & TOLA_STATUS_WRONG_DEVICE);
    EXPECT_STREQ("Chromatik\xAE", comm_.snDevice);
}

TEST_F(UsbConnection, FirstGenerationLoadsItsSetup) {
    sim::Instrument& instrument = start(config(1, 2, "CK0A.00.20.00"));
    ASSERT_EQ(1, connect());
    EXPECT_EQ(0u, comm_.tStatus & TOLA_STATUS_WRONG_DEVICE);
    EXPECT_STREQ("CK0A.00.20.00", comm_.snInterface);
    const auto setup = instrument.layout().find(1);
    ASSERT_TRUE(setup.has_value());
    bool read = false;
    for (const auto& e : instrument.journal().entries(EventKind::MemoryRead)) read |= e.address == setup->address;
    EXPECT_TRUE(read);
}

TEST_F(UsbConnection, BootModeControllerConnectsEvenWhenTheHandshakeFails) {
    sim::Instrument& instrument = start(config(3));
    instrument.refuse_next(0x222402, 1);
    ASSERT_EQ(1, connect());
    EXPECT_EQ(TOLA_DEVICE_USB_H8SX_BOOT, comm_.iDevice);
    EXPECT_NE(0u, comm_.tStatus & TOLA_STATUS_TEST_FAILED);
    // The controller's name is longer than a name field takes: the field stays as it was.
    EXPECT_STREQ("", comm_.snDevice);
}

TEST_F(UsbConnection, BootModeControllerConnectsWithItsHandshake) {
    start(config(3));
    ASSERT_EQ(1, connect());
    EXPECT_EQ(0u, comm_.tStatus & TOLA_STATUS_TEST_FAILED);
}

TEST_F(UsbConnection, FixedUsbPortWithNothingAttachedFailsAfterFiveSeconds) {
    const std::uint32_t begin = platform::tick_ms();
    comm_.iPort = TOLA_PORT_USB;
    std::int32_t result = 2;
    while (result == 2) {
        result = iTOLA_comm_poll_initialize(&comm_);
        if (result == 2) {
            EXPECT_STREQ("Testing USB", comm_.ssStatus);
            platform::sleep_ms(100);
        }
    }
    EXPECT_EQ(3, result);
    EXPECT_GE(platform::ms_since(begin), 5000u);
    EXPECT_NE(0u, comm_.tStatus & TOLA_STATUS_NO_INSTRUMENT);
}

// Every later release connects, and every structure it serves moves both ways.
class EveryLaterRelease : public SimTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(EveryLaterRelease, ConnectsAndMovesEveryServedStructure) {
    const std::string release = GetParam();
    sim::Instrument& instrument = start(config(4, 2, release.c_str()));
    ASSERT_EQ(1, connect()) << comm_.ssStatus;
    EXPECT_EQ(release, comm_.snInterface);

    using structures::Direction;
    using structures::StructureKind;
    struct Case {
        int id;
        StructureKind kind;
        std::size_t host_size;
    };
    const Case cases[] = {
        {CKPSTRUCT_SHADEROM_TOOTH, StructureKind::ShadeTable, 4 * 8788}, {CKPSTRUCT_COMMUSBHOST, StructureKind::UsbHost, 64},
        {CKPSTRUCT_MEASUREDETAILS, StructureKind::MeasureDetails, 7316}, {CKPSTRUCT_COMMDISPLAYTEXT, StructureKind::DisplayText, 216},
        {CKPSTRUCT_DATA, StructureKind::Data, 168},        {CKPSTRUCT_NORM, StructureKind::Norm, 256},
        {CKPSTRUCT_SETTINGS, StructureKind::Settings, 512}, {CKPSTRUCT_ADD2, StructureKind::Add2, 68},
        {CKPSTRUCT_MEAS, StructureKind::Meas, 2280},       {CKPSTRUCT_RESULTS, StructureKind::Results, 876},
        {CKPSTRUCT_ADD3, StructureKind::Add3, 2676},       {CKPSTRUCT_ADD4, StructureKind::Add4, 576},
    };
    std::vector<std::uint8_t> buffer(4 * 8788);
    char message[501];
    for (const Case& k : cases) {
        SCOPED_TRACE("identifier " + std::to_string(k.id));
        const bool present = structures::target_size(k.kind, release) != 0;
        const bool up = present && structures::serves(k.kind, Direction::Upload, release);
        const bool down = present && structures::serves(k.kind, Direction::Download, release);
        if (up) {
            EXPECT_EQ(1, bTOLA_Transfer_local_structure(&comm_, buffer.data(), k.id, static_cast<int32_t>(k.host_size),
                                                         2, message))
                << message;
        }
        if (down) {
            EXPECT_EQ(1, bTOLA_Transfer_local_structure(&comm_, buffer.data(), k.id, static_cast<int32_t>(k.host_size),
                                                         1, message))
                << message;
        }
    }
    EXPECT_FALSE(instrument.journal().flagged(sim::Flag::BootAreaWrite));
}

INSTANTIATE_TEST_SUITE_P(Releases, EveryLaterRelease,
                         ::testing::Values("CK0A.00.22.00", "CK0A.00.23.00", "CK0A.00.24.00", "CK0A.00.25.00",
                                           "CK0A.00.26.00", "CK0A.00.27.00", "CK0A.00.28.00", "CK0A.00.29.00",
                                           "CK0A.00.30.00", "CK0A.00.31.00", "CK0A.00.32.00"));

}  // namespace
}  // namespace tola::testing
