// The product table and its configuration file.
#include "bridge/usb/product_table.h"

#include <gtest/gtest.h>

namespace tola::usbd {
namespace {

TEST(ProductTable, EveryInstrumentOfTheBusHasItsProtocol) {
    const auto t = builtin_profiles();
    ASSERT_NE(nullptr, find_profile(t, 0xE1A7, 0x5061));
    EXPECT_EQ(Protocol::Pipes, find_profile(t, 0xE1A7, 0x5061)->protocol);
    EXPECT_TRUE(find_profile(t, 0xE1A7, 0x5061)->ezusb_name);
    for (const std::uint16_t product : {std::uint16_t{0x5062}, std::uint16_t{0x5063}}) {
        ASSERT_NE(nullptr, find_profile(t, 0xE1A7, product));
        EXPECT_EQ(Protocol::RequestBlock, find_profile(t, 0xE1A7, product)->protocol);
        EXPECT_FALSE(find_profile(t, 0xE1A7, product)->ezusb_name);
    }
    // The boot-mode controller is the one Renesas product served without a configuration.
    ASSERT_NE(nullptr, find_profile(t, 0x045B, 0x0025));
    EXPECT_EQ("Renesas H8SX boot mode", find_profile(t, 0x045B, 0x0025)->name);
    EXPECT_EQ(nullptr, find_profile(t, 0x045B, 0x1234));
    EXPECT_EQ(nullptr, find_profile(t, 0xE1A7, 0x5064));
    EXPECT_EQ(nullptr, find_profile(t, 0x1D6B, 0x0002));
}

TEST(ProductTable, ConfigurationChangesAnEntryAndAddsOne) {
    auto t = builtin_profiles();
    std::string error;
    ASSERT_TRUE(apply_config(t,
                             "# the EZ-USB's bulk pipes sit in setting 1\n"
                             "[E1A7:5061]\n"
                             "alt-setting = 1\n"
                             "pipes = 0x81 0x86 0x02 0x08   ; status, data in, command, data out\n"
                             "\n"
                             "[045b:*]\n"
                             "out = 0x02\n"
                             "in = 0x82\n"
                             "[1234:abcd]\n"
                             "name = Chromatik test rig\n"
                             "protocol = pipes\n"
                             "ezusb-name = yes\n",
                             error))
        << error;
    const auto* classic = find_profile(t, 0xE1A7, 0x5061);
    EXPECT_EQ(1, classic->alt_setting);
    EXPECT_EQ((std::vector<std::uint8_t>{0x81, 0x86, 0x02, 0x08}), classic->pipes);
    const auto* renesas = find_profile(t, 0x045B, 0x7777);
    EXPECT_EQ(0x02, renesas->out_endpoint);
    EXPECT_EQ(0x82, renesas->in_endpoint);
    // The boot-mode entry stays as it was: the vendor-wide section does not reach it.
    EXPECT_FALSE(find_profile(t, 0x045B, 0x0025)->out_endpoint.has_value());
    const auto* added = find_profile(t, 0x1234, 0xABCD);
    ASSERT_NE(nullptr, added);
    EXPECT_EQ("Chromatik test rig", added->name);
    EXPECT_EQ(Protocol::Pipes, added->protocol);
    EXPECT_TRUE(added->ezusb_name);
}

TEST(ProductTable, AHubIsNeverServedWhateverTheTableSays) {
    auto t = builtin_profiles();
    std::string error;
    ASSERT_TRUE(apply_config(t, "[045b:*]\n", error)) << error;
    const struct {
        std::uint16_t vendor, product;
        bool hub, served;
    } cases[] = {
        {0x045B, 0x0025, false, true},  {0x045B, 0x0209, false, true},  // the configuration's vendor-wide entry
        {0x045B, 0x0209, true, false},  {0x045B, 0x0025, true, false},  {0xE1A7, 0x5062, true, false},
        {0xE1A7, 0x5062, false, true},
    };
    for (const auto& c : cases) {
        DeviceInfo d;
        d.vendor = c.vendor;
        d.product = c.product;
        d.hub = c.hub;
        EXPECT_EQ(c.served, served_profile(t, d) != nullptr) << std::hex << c.vendor << ":" << c.product << " hub " << c.hub;
    }
}

TEST(ProductTable, TheAlternateSettingIsTheOneWithTheEndpointsTheProfileDrives) {
    const std::vector<Endpoint> none{}, interrupt_only{{0x83, false}};
    const std::vector<Endpoint> four_bulk{{0x81, true}, {0x82, true}, {0x02, true}, {0x04, true}};
    const std::vector<Endpoint> one_pair{{0x01, true}, {0x81, true}};
    std::string error;
    auto pinned = builtin_profiles();
    ASSERT_TRUE(apply_config(pinned, "[e1a7:5061]\nalt-setting = 0\n[e1a7:5062]\nin = 0x82\n", error)) << error;
    const auto t = builtin_profiles();
    const struct {
        const char* what;
        const ProductProfile* profile;
        std::vector<std::vector<Endpoint>> settings;
        std::size_t chosen;
    } cases[] = {
        {"pipes in setting 1", find_profile(t, 0xE1A7, 0x5061), {interrupt_only, four_bulk}, 1},
        {"pipes in setting 0", find_profile(t, 0xE1A7, 0x5061), {four_bulk, interrupt_only}, 0},
        {"no setting fits", find_profile(t, 0xE1A7, 0x5061), {none, one_pair}, 0},
        {"configured setting", find_profile(pinned, 0xE1A7, 0x5061), {interrupt_only, four_bulk}, 0},
        {"request blocks", find_profile(t, 0xE1A7, 0x5062), {none, one_pair}, 1},
        {"configured IN endpoint", find_profile(pinned, 0xE1A7, 0x5062), {one_pair, four_bulk}, 1},
    };
    for (const auto& c : cases) EXPECT_EQ(c.chosen, choose_alt_setting(*c.profile, c.settings)) << c.what;
}

TEST(ProductTable, ABadConfigurationNamesItsLineAndChangesNothing) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"[e1a7:5062]\nout = 0x81\n", "line 2: out: the endpoint's direction does not fit"},
        {"[e1a7:5062]\n\npipes = 0x81 zz\n", "line 3: pipes: endpoint addresses such as 0x81 0x02 are expected"},
        {"[e1a7]\n", "line 1: a section names vendor:product in hexadecimal, or vendor:*"},
        {"[e1a7:5062\n", "line 1: a section ends with ']'"},
        {"[e1a7:5062]\nspeed = fast\n", "line 2: speed: unknown key"},
        {"[e1a7:5062]\nprotocol = serial\n", "line 2: protocol: protocol is pipes or request-block"},
        {"[e1a7:5062]\ninterface = 256\n", "line 2: interface: a number from 0 to 255 is expected"},
        {"[e1a7:5062]\nin = 0x80\n", "line 2: in: one endpoint address is expected"},
        {"[e1a7:5062]\njust words\n", "line 2: \"key = value\" expected"},
    };
    for (const auto& c : cases) {
        auto t = builtin_profiles();
        std::string error;
        ASSERT_FALSE(apply_config(t, std::string("[e1a7:5061]\nalt-setting = 3\n") + c.text, error)) << c.text;
        // Line numbers count from the start of the whole text.
        const std::string expected = c.error;
        const int line = std::stoi(expected.substr(5)) + 2;
        EXPECT_EQ("line " + std::to_string(line) + expected.substr(expected.find(':')), error) << c.text;
        EXPECT_EQ(0, find_profile(t, 0xE1A7, 0x5061)->alt_setting) << "a failed configuration changed the table";
    }
}

TEST(ProductTable, SettingsBelongToASection) {
    auto t = builtin_profiles();
    std::string error;
    EXPECT_FALSE(apply_config(t, "# no section yet\ninterface = 1\n", error));
    EXPECT_EQ("line 2: a setting before the first [vendor:product] section", error);
}

}  // namespace
}  // namespace tola::usbd
