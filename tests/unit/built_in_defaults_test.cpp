// The built-in defaults handed out by address: the set-up and the four shade
// tables from data/, in the host layouts.
#include "tola_comm.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace {

TEST(BuiltInDefaults, SetupAndShadeTablesCarryTheirData) {
    CKP_STRUCTURE_ADDRESSES_1 first{};
    CKP_STRUCTURE_ADDRESSES_2 second{};
    ASSERT_EQ(1, bTOLA_Get_CKP_Structure_Addresses(&first, &second));

    const auto* setup = static_cast<const CKII_SETUP*>(second.lpDEFAULT_SETUP);
    EXPECT_EQ(14u, setup->dSensor);
    EXPECT_EQ(0x10111u, setup->qtType[0]);
    EXPECT_EQ(700u, setup->qdFilter_center[15]);
    EXPECT_FLOAT_EQ(0.99495f, setup->qqfTri[15][1]) << "Y weight at 550 nm";
    EXPECT_STREQ("White", setup->qRef[0].snName);
    EXPECT_STREQ("Grey", setup->qRef[3].snName);
    EXPECT_FLOAT_EQ(97.5f, setup->qRef[0].fL);

    const auto* tooth = static_cast<const std::uint8_t*>(first.lpDEFAULT_SHADE_ROM_TOOTH);
    EXPECT_STREQ("Tooth shades", reinterpret_cast<const char*>(tooth));
    std::uint32_t count = 0;
    std::memcpy(&count, tooth + 28, 4);
    EXPECT_EQ(16u, count);
    float lab[3];
    std::memcpy(lab, tooth + 1108 + 12, sizeof lab);  // the second shade, A2
    EXPECT_FLOAT_EQ(76.0f, lab[0]);
    const auto* measure = static_cast<const char*>(first.lpDEFAULT_SHADE_ROM_CERAMICMEASURE);
    EXPECT_STREQ("Ceramic measure", measure);
}

}  // namespace
