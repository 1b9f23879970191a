// Size-tolerant record exchange of the _ex exports, and what bad records and
// sizes do to them.
#include "comm/api/size_tolerant.h"
#include "tola_comm.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

namespace {

TEST(VersionRecord, FixedContent) {
    DLL_VERSION v;
    std::memset(&v, 0x5A, sizeof v);
    TOLA_Get_Dll_version(&v);
    EXPECT_EQ(1u, v.dMajor);
    EXPECT_EQ(0u, v.dMinor);
    EXPECT_EQ(12017u, v.dRelease);
    EXPECT_EQ(385u, v.dBuild);
    EXPECT_STREQ("1.0.12017.385", v.snVersion);
    EXPECT_STREQ("2022-01-18", v.snDate);
    EXPECT_STREQ("15:17:11", v.snTime);
}

TEST(VersionRecord, ShortCallerGetsOnlyItsPrefix) {
    std::array<std::uint8_t, 16> buffer;
    buffer.fill(0xAA);
    TOLA_Get_Dll_version_ex(reinterpret_cast<DLL_VERSION*>(buffer.data()), 8);
    std::uint32_t major = 0, minor = 0;
    std::memcpy(&major, buffer.data(), 4);
    std::memcpy(&minor, buffer.data() + 4, 4);
    EXPECT_EQ(1u, major);
    EXPECT_EQ(0u, minor);
    for (std::size_t i = 8; i < buffer.size(); ++i) EXPECT_EQ(0xAA, buffer[i]) << "byte " << i << " beyond the size";
}

TEST(VersionRecord, LongCallerGetsZerosBeyondTheLibrarySize) {
    std::vector<std::uint8_t> buffer(200 + 16, 0xAA);
    TOLA_Get_Dll_version_ex(reinterpret_cast<DLL_VERSION*>(buffer.data()), 200);
    DLL_VERSION v;
    std::memcpy(&v, buffer.data(), sizeof v);
    EXPECT_STREQ("1.0.12017.385", v.snVersion);
    for (std::size_t i = sizeof(DLL_VERSION); i < 200; ++i) ASSERT_EQ(0, buffer[i]) << "byte " << i;
    for (std::size_t i = 200; i < buffer.size(); ++i) ASSERT_EQ(0xAA, buffer[i]) << "byte " << i << " outside";
}

TEST(SizeTolerantCopy, NegativeHugeAndNullAreRefusedWithoutWriting) {
    std::array<std::uint8_t, 64> buffer;
    buffer.fill(0xAA);
    auto* version = reinterpret_cast<DLL_VERSION*>(buffer.data());
    TOLA_Get_Dll_version_ex(version, -1);
    TOLA_Get_Dll_version_ex(version, 0x7FFFFFFF);
    TOLA_Get_Dll_version_ex(nullptr, 96);
    for (auto b : buffer) ASSERT_EQ(0xAA, b);

    auto* block = reinterpret_cast<COMM_USB_HOST*>(buffer.data());
    EXPECT_EQ(0, bTOLA_comm_send_command_ex(block, -64));
    EXPECT_EQ(0, bTOLA_comm_send_command_ex(nullptr, 64));
    for (auto b : buffer) ASSERT_EQ(0xAA, b);
}

TEST(SizeTolerantCopy, WorkerSeesZeroFilledLibraryRecord) {
    std::array<std::uint8_t, 20> caller;
    caller.fill(0x11);
    std::size_t nonzero_beyond = 0;
    auto result = tola::with_local_copy<COMM_USB_HOST>(caller.data(), 16, [&](COMM_USB_HOST& local) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(&local);
        for (std::size_t i = 16; i < sizeof local; ++i) nonzero_beyond += bytes[i] != 0;
        local.qdWord[0] = 0x01020304;
        local.qdWord[10] = 0xFFFFFFFF;  // beyond the caller's size: dropped
        return 7;
    });
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(7, *result);
    EXPECT_EQ(0u, nonzero_beyond);
    std::uint32_t word0 = 0;
    std::memcpy(&word0, caller.data(), 4);
    EXPECT_EQ(0x01020304u, word0);
    for (std::size_t i = 4; i < 16; ++i) EXPECT_EQ(0x11, caller[i]);
    for (std::size_t i = 16; i < caller.size(); ++i) EXPECT_EQ(0x11, caller[i]) << "beyond the caller's size";
}

TEST(SizeTolerantCopy, MeasurementOfTheShortDeclarationKeepsItsEnd) {
    // A caller declaring COMM_MEASUREMENT up to iWIO2BGU (2376 bytes).
    std::vector<std::uint8_t> caller(2376 + 16, 0xAA);
    EXPECT_EQ(0, bTOLA_comm_poll_measurements_ex(reinterpret_cast<COMM_MEASUREMENT*>(caller.data()), 2376, 0));
    for (std::size_t i = 2376; i < caller.size(); ++i) ASSERT_EQ(0xAA, caller[i]) << "byte " << i;
}

TEST(BluetoothSearch, MissingClientGivesMinusOneAndZeroFilledRecord) {
    std::vector<std::uint8_t> caller(300 + 8, 0xAA);
    EXPECT_EQ(-1, bTOLA_comm_bt_discovery_ex(reinterpret_cast<BT_DEVICES*>(caller.data()), 300));
    for (std::size_t i = 0; i < 300; ++i) ASSERT_EQ(0, caller[i]) << "byte " << i;
    for (std::size_t i = 300; i < caller.size(); ++i) ASSERT_EQ(0xAA, caller[i]);
    EXPECT_EQ(-1, bTOLA_comm_bt_get_radio_count(0));
    EXPECT_EQ(-1, bTOLA_comm_bt_reinit());
}

TEST(StructureAddresses, ListsPointIntoLibraryStorage) {
    CKP_STRUCTURE_ADDRESSES_1 first{};
    CKP_STRUCTURE_ADDRESSES_2 second{};
    EXPECT_EQ(0, bTOLA_Get_CKP_Structure_Addresses(nullptr, nullptr));
    ASSERT_EQ(1, bTOLA_Get_CKP_Structure_Addresses(&first, nullptr));
    EXPECT_EQ(nullptr, second.lpDATA);
    ASSERT_EQ(1, bTOLA_Get_CKP_Structure_Addresses(&first, &second));
    auto* tooth = static_cast<std::uint8_t*>(first.lpSHADE_ROM_TOOTH);
    EXPECT_EQ(tooth + 8788, first.lpSHADE_ROM_TAB);
    EXPECT_EQ(tooth + 3 * 8788, first.lpSHADE_ROM_CERAMICMEASURE);
    const auto* defaults = static_cast<const COMM_VERSION*>(first.lpDEFAULT_VERSION);
    EXPECT_STREQ("Chromatik\xAE V", defaults->snName);
    EXPECT_STREQ("CK0A.00.31.00", defaults->snVersion);
    EXPECT_STREQ("2x", defaults->snMFG3);
    EXPECT_NE(nullptr, second.lpADD_4);

    // The _ex form: a shorter first list gets its prefix, the rest of the caller's record stays.
    std::array<void*, 4> short_first{};
    std::array<void*, 12> long_second;
    long_second.fill(reinterpret_cast<void*>(0x1));
    ASSERT_EQ(1, bTOLA_Get_CKP_Structure_Addresses_ex(reinterpret_cast<CKP_STRUCTURE_ADDRESSES_1*>(short_first.data()),
                                                      4 * sizeof(void*),
                                                      reinterpret_cast<CKP_STRUCTURE_ADDRESSES_2*>(long_second.data()),
                                                      12 * sizeof(void*)));
    EXPECT_EQ(first.lpCOMM_USB_HOST == nullptr, false);
    EXPECT_EQ(first.lpSHADE_ROM_TOOTH, short_first[3]);
    EXPECT_EQ(second.lpADD_4, long_second[9]);
    EXPECT_EQ(nullptr, long_second[10]);
    EXPECT_EQ(nullptr, long_second[11]);
}

}  // namespace

namespace {

TEST(ControllerType, BeforeAnyUsbConnectionIsOne) {
    int32_t type = 0;
    EXPECT_EQ(1, bTOLA_comm_GetCpuType(&type));
    EXPECT_EQ(1, type);
    EXPECT_EQ(1, bTOLA_comm_GetCpuType(nullptr));
}

}  // namespace
