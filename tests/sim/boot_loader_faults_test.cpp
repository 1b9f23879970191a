// The boot loader's faults as texts, and how they are taken.
#include "sim/boot_loader_faults.h"

#include <gtest/gtest.h>

namespace tola::sim {
namespace {

TEST(BootLoaderFaults, TextsAreReadOrRefused) {
    BootLoaderFaults f;
    EXPECT_TRUE(is_boot_loader_fault("refuse-erase=5:2"));
    EXPECT_FALSE(is_boot_loader_fault("refuse=0x222402"));
    std::string why;
    EXPECT_TRUE(apply_boot_loader_fault(f, "refuse-erase=5:2", &why));
    EXPECT_TRUE(apply_boot_loader_fault(f, "refuse-command=11", &why));
    EXPECT_TRUE(apply_boot_loader_fault(f, "refuse-write=0x0800C040:0", &why));
    EXPECT_TRUE(apply_boot_loader_fault(f, "weak-flash=0x08020010", &why));
    EXPECT_FALSE(apply_boot_loader_fault(f, "refuse-erase=five", &why));
    EXPECT_NE(std::string::npos, why.find("bad number"));
    EXPECT_FALSE(apply_boot_loader_fault(f, "refuse-write=", &why));
}

TEST(BootLoaderFaults, CountsRunOutAndZeroMeansAlways) {
    BootLoaderFaults f;
    apply_boot_loader_fault(f, "refuse-erase=5:2", nullptr);
    apply_boot_loader_fault(f, "refuse-command=11", nullptr);
    EXPECT_FALSE(f.take_command_refusal(9, 4));
    EXPECT_TRUE(f.take_command_refusal(9, 5));
    EXPECT_TRUE(f.take_command_refusal(9, 5));
    EXPECT_FALSE(f.take_command_refusal(9, 5));
    EXPECT_TRUE(f.take_command_refusal(11, 0));
    EXPECT_FALSE(f.take_command_refusal(11, 0));

    apply_boot_loader_fault(f, "refuse-write=0x0800C040:0", nullptr);
    EXPECT_FALSE(f.take_write_refusal(0x0800C000, 0x40));  // ends just before
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(f.take_write_refusal(0x0800C000, 0x41));
    apply_boot_loader_fault(f, "refuse-write=0x20000000:1", nullptr);
    EXPECT_TRUE(f.take_write_refusal(0x20000000, 4));
    EXPECT_FALSE(f.take_write_refusal(0x20000000, 4));

    apply_boot_loader_fault(f, "weak-flash=0x08020010", nullptr);
    EXPECT_TRUE(f.weak_cell_in(0x08020000, 0x40));
    EXPECT_FALSE(f.weak_cell_in(0x08020011, 0x40));
}

}  // namespace
}  // namespace tola::sim
