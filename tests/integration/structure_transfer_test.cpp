// The exported structure transfers against a connected virtual Chromatik V.
#include "comm/api/library_state.h"
#include "sim_fixture.h"

#include <array>
#include <cstring>
#include <vector>

namespace tola::testing {
namespace {

using sim::EventKind;

class StructureTransfer : public SimTest {
protected:
    sim::Instrument& connect_to(const char* release = "CK0A.00.31.00") {
        sim::Instrument& instrument = start(config(4, 2, release));
        EXPECT_EQ(1, connect());
        instrument.journal().clear();
        return instrument;
    }
    char message[501] = {};
};

TEST_F(StructureTransfer, LocalVersionRoundTripTouchesNoInstrument) {
    sim::Instrument& instrument = connect_to();
    COMM_VERSION mine{};
    std::strcpy(mine.snName, "my own");
    std::strcpy(message, "untouched");
    EXPECT_EQ(1, bTOLA_Transfer_local_structure(&comm_, &mine, CKPSTRUCT_COMMVERSION | CKPSTRUCT_LOCAL, sizeof mine, 1,
                                                message));
    EXPECT_STREQ("my own", mine.snName);
    EXPECT_STREQ("untouched", message) << "identifier 3 leaves the message buffer as passed";
    EXPECT_EQ(0u, instrument.journal().count(EventKind::Request));
    COMM_VERSION back{};
    EXPECT_EQ(1, bTOLA_Transfer_local_structure(&comm_, &back, CKPSTRUCT_COMMVERSION | CKPSTRUCT_LOCAL, sizeof back, 2,
                                                message));
    EXPECT_STREQ("my own", back.snName);
}

TEST_F(StructureTransfer, SetupIsNeverDownloaded) {
    sim::Instrument& instrument = connect_to();
    const auto at = instrument.layout().find(1);
    ASSERT_TRUE(at.has_value());
    const auto before = *instrument.peek(at->address, at->size);
    CKII_SETUP mine;
    std::memset(&mine, 0x5A, sizeof mine);
    ASSERT_EQ(1, bTOLA_Transfer_local_structure(&comm_, &mine, CKPSTRUCT_SETUPROM, sizeof mine, 1, message));
    EXPECT_EQ(before, *instrument.peek(at->address, at->size)) << "the instrument keeps its setup";
    EXPECT_EQ(0u, instrument.journal().count(EventKind::MemoryWrite));
    std::uint32_t sensor = 0;
    std::memcpy(&sensor, before.data(), 4);
    EXPECT_EQ(sensor, mine.dSensor) << "the caller gets the instrument's setup back";
}

TEST_F(StructureTransfer, OversizedRequestIsClampedToTheHostCopy) {
    connect_to();
    std::vector<std::uint8_t> buffer(2000, 0xEE);
    ASSERT_EQ(1, bTOLA_Transfer_local_structure(&comm_, buffer.data(), CKPSTRUCT_SETTINGS, 2000, 2, message));
    for (std::size_t i = 512; i < buffer.size(); ++i) ASSERT_EQ(0xEE, buffer[i]) << "byte " << i << " beyond 512";
}

TEST_F(StructureTransfer, SizesTableComesFromTheLastOpen) {
    connect_to();
    COMM_STRUCTURE_SIZES sizes{};
    EXPECT_EQ(1, bTOLA_Transfer_local_structure(&comm_, &sizes, CKPSTRUCT_COMMSTRUCTURESIZES, sizeof sizes, 2, message));
    EXPECT_EQ(260u, sizes.dCOMM_VERSION);
    EXPECT_EQ(512u, sizes.dSETTINGS);
}

TEST_F(StructureTransfer, IdentifiersOutsideTheUsbSetAreNotDefined) {
    connect_to();
    std::array<std::uint8_t, 700> buffer{};
    for (int id : {28, 29, 31, 0, -1, 0x1000 | 3}) {
        std::strcpy(message, "x");
        EXPECT_EQ(0, bTOLA_Transfer_local_structure(&comm_, buffer.data(), id, 624, 2, message)) << id;
        EXPECT_STREQ("Structure type not defined", message) << id;
    }
}

TEST_F(StructureTransfer, ReservedIdentifiersAreUnderConstruction) {
    connect_to();
    std::array<std::uint8_t, 300> buffer{};
    EXPECT_EQ(0, bTOLA_Transfer_local_structure(&comm_, buffer.data(), CKPSTRUCT_COMMVERIFYSHADE, 10, 2, message));
    EXPECT_STREQ("Upload FAILED.\n CKPSTRUCT_COMMVERIFYSHADE under construction", message);
    EXPECT_EQ(0, bTOLA_Transfer_local_structure(&comm_, buffer.data(), CKPSTRUCT_CKIISETUP, 10, 1, message));
    EXPECT_STREQ("Download FAILED.\n CKPSTRUCT_CKIISETUP under construction", message);
    EXPECT_EQ(0, bTOLA_Transfer_local_structure(&comm_, buffer.data(), CKPSTRUCT_CKIISHADEROM_TAB, 10, 3, message));
    EXPECT_STREQ("Halted FAILED.\n CKPSTRUCT_CKIISHADEROM_TOOTH\n CKPSTRUCT_CKIISHADEROM_TAB\n "
                 "CKPSTRUCT_CKIISHADEROM_CERAMICVERIFY\n CKPSTRUCT_CKIISHADEROM_CERAMICMEASURE\n under construction",
                 message);
    EXPECT_EQ(0, bTOLA_Transfer_local_structure(&comm_, buffer.data(), CKPSTRUCT_CKIIVERSIONDEFAULT, 10, 2, nullptr));
}

TEST_F(StructureTransfer, MeasurementCompositionNeedsTheLocalFlagAndALaterRelease) {
    connect_to("CK0A.00.23.00");
    COMM_MEASUREMENT m{};
    EXPECT_EQ(0, bTOLA_Transfer_local_structure(&comm_, &m, CKPSTRUCT_COMMMEASUREMENT, sizeof m, 2, message));
    EXPECT_STREQ("Upload FAILED", message);
    EXPECT_EQ(0, bTOLA_Transfer_local_structure(&comm_, &m, CKPSTRUCT_COMMMEASUREMENT | CKPSTRUCT_LOCAL, sizeof m, 1,
                                                message));
    EXPECT_STREQ("Download FAILED", message);
    EXPECT_EQ(0u, comm_.tStatus & TOLA_STATUS_WRONG_DEVICE);
    EXPECT_EQ(0, bTOLA_Transfer_local_structure(&comm_, &m, CKPSTRUCT_COMMMEASUREMENT | CKPSTRUCT_LOCAL, sizeof m, 2,
                                                message));
    EXPECT_NE(0u, comm_.tStatus & TOLA_STATUS_WRONG_DEVICE);
}

TEST_F(StructureTransfer, ByAddressUnknownHaltsAndAdditionalRecordsAreNotAvailable) {
    connect_to();
    int not_a_copy = 0;
    library_state().stop_state = StopState::Running;
    EXPECT_EQ(1, bTOLA_Transfer_structure(0, &comm_, &not_a_copy, 0, 3, message));
    EXPECT_EQ(StopState::HaltRequested, library_state().stop_state);
    library_state().stop_state = StopState::Running;
    EXPECT_EQ(0, bTOLA_Transfer_structure(0, &comm_, &not_a_copy, 0, 2, message));
    EXPECT_STREQ("Not available", message);

    CKP_STRUCTURE_ADDRESSES_1 first{};
    CKP_STRUCTURE_ADDRESSES_2 second{};
    ASSERT_EQ(1, bTOLA_Get_CKP_Structure_Addresses(&first, &second));
    EXPECT_EQ(0, bTOLA_Transfer_structure(0, &comm_, second.lpADD_3, 0, 2, message));
    EXPECT_STREQ("Not available", message);
    EXPECT_EQ(0, bTOLA_Transfer_structure(0, &comm_, second.lpADD_4, 0, 1, message));
    EXPECT_STREQ("Not available", message);

    // A known copy moves: the settings by address, and any shade table moves all four.
    EXPECT_EQ(1, bTOLA_Transfer_structure(0, &comm_, second.lpSETTINGS, 0, 2, message));
    EXPECT_EQ(1, bTOLA_Transfer_structure(0, &comm_, first.lpSHADE_ROM_TAB, 0, 2, message));
}

TEST_F(StructureTransfer, HaltRequestStopsTheNextChunkedTransfer) {
    sim::Instrument& instrument = connect_to();
    int not_a_copy = 0;
    ASSERT_EQ(1, bTOLA_Transfer_structure(0, &comm_, &not_a_copy, 0, 3, message));
    std::vector<std::uint8_t> details(7316);
    EXPECT_EQ(0, bTOLA_Transfer_local_structure(&comm_, details.data(), CKPSTRUCT_MEASUREDETAILS, 7316, 2, message));
    EXPECT_STREQ("Upload FAILED", message);
    EXPECT_LE(instrument.journal().count(EventKind::MemoryRead), 2u) << "the read stops after its first piece";
}

TEST_F(StructureTransfer, SettingsRoundTripKeepsTheInstrumentsBytes) {
    sim::Instrument& instrument = connect_to();
    const auto at = instrument.layout().find(15);
    ASSERT_TRUE(at.has_value());
    const auto before = *instrument.peek(at->address, at->size);
    CKNG_SETTINGS s{};
    ASSERT_EQ(1, bTOLA_Transfer_local_structure(&comm_, &s, CKPSTRUCT_SETTINGS, sizeof s, 2, message));
    ASSERT_EQ(1, bTOLA_Transfer_local_structure(&comm_, &s, CKPSTRUCT_SETTINGS, sizeof s, 1, message));
    EXPECT_EQ(before, *instrument.peek(at->address, at->size));

    s.dSamples = 77;
    ASSERT_EQ(1, bTOLA_Transfer_local_structure(&comm_, &s, CKPSTRUCT_SETTINGS, sizeof s, 1, message));
    const auto after = *instrument.peek(at->address + 272, 4);
    EXPECT_EQ((std::vector<std::uint8_t>{77, 0, 0, 0}), after) << "dSamples at 272, little-endian";
}

TEST_F(StructureTransfer, StructureTableReportNamesTheInstrumentsAddresses) {
    sim::Instrument& instrument = connect_to();
    COMM_STRUCTURE_TABLE t{};
    COMM_STRUCTURE_SIZES s{};
    ASSERT_EQ(1, bTOLA_Transfer_local_structure(&comm_, &t, CKPSTRUCT_COMMSTRUCTURETABLE, sizeof t, 2, message));
    ASSERT_EQ(1, bTOLA_Transfer_local_structure(&comm_, &s, CKPSTRUCT_COMMSTRUCTURESIZES, sizeof s, 2, message));
    EXPECT_EQ(instrument.layout().find(0)->address, t.dCOMM_VERSION);
    std::vector<char> text(10000);
    TOLA_Get_COMM_structure_table(text.data(), &t, &s);
    char line[64];
    std::snprintf(line, sizeof line, "dCOMM_VERSION\t %8.8x\t260\t260\r\n", t.dCOMM_VERSION);
    EXPECT_NE(nullptr, std::strstr(text.data(), line));
}

}  // namespace
}  // namespace tola::testing
