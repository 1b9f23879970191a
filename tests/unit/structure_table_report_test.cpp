#include "tola_comm.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(StructureTableReport, ComparesSizesAndMarksDifferences) {
    COMM_STRUCTURE_TABLE table{};
    COMM_STRUCTURE_SIZES sizes{};
    table.dCOMM_VERSION = 0x20000100;
    sizes.dCOMM_VERSION = 260;  // the version size is known before any release is recognised
    table.dCOMM_USB_HOST = 0x20000200;
    sizes.dCOMM_USB_HOST = 76;  // differs from 64
    table.dADD_1 = 0x20001000;
    sizes.dADD_1 = 999;
    sizes.dCOMM_STRUCTURE_TABLE_SIZES = 96;
    std::vector<char> text(10000, 'x');
    EXPECT_NE(0, TOLA_Get_COMM_structure_table(text.data(), &table, &sizes));
    const std::string report(text.data());

    EXPECT_EQ(0u, report.find("Structure\tTarget Address\tTarget size\tWindows size\r\n\r\n"));
    EXPECT_NE(std::string::npos, report.find("dCOMM_VERSION\t 20000100\t260\t260\r\n"));
    EXPECT_NE(std::string::npos, report.find("dCOMM_USB_HOST\t 20000200\t76\t64\t!! diff !!\r\n"));
    EXPECT_NE(std::string::npos, report.find("\r\nChromatik only (size not available)\r\n\r\n"));
    EXPECT_NE(std::string::npos, report.find("dCK_PS_BUFF(ADD_1)\t 20001000\t999\t128\r\n"));
    EXPECT_NE(std::string::npos, report.find("dCK_TF_BUFFER(ADD_2)\t 00000000\t0\t50\r\n"));
    EXPECT_NE(std::string::npos, report.find("\r\nCKII and later\r\n\r\n"));
    EXPECT_NE(std::string::npos, report.find("dCOMM_structure_size\t 00000000\t96\t96\r\n"));
    EXPECT_EQ(report.size() - std::string("dCOMM_structure_size\t 00000000\t96\t96\r\n").size(),
              report.rfind("dCOMM_structure_size"));
}

}  // namespace
