// The udev rule opens every device of the bridge's product table to the seat's user.
#include "bridge/usb/product_table.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <string>

namespace tola::usbd {
namespace {

struct RuleIds {
    std::string vendor, product;  // product empty: any
};

std::vector<RuleIds> uaccess_rules() {
    std::ifstream in(TOLA_UDEV_RULES);
    std::vector<RuleIds> out;
    const std::regex vendor(R"re(ATTR\{idVendor\}=="([0-9a-f]{4})")re");
    const std::regex product(R"re(ATTR\{idProduct\}=="([0-9a-f]{4})")re");
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#' || line.find("TAG+=\"uaccess\"") == std::string::npos) continue;
        std::smatch v, p;
        if (!std::regex_search(line, v, vendor)) continue;
        out.push_back({v[1], std::regex_search(line, p, product) ? std::string(p[1]) : std::string()});
    }
    return out;
}

TEST(UdevRule, EveryInstrumentOfTheProductTableIsOpenedToTheUser) {
    const auto rules = uaccess_rules();
    ASSERT_FALSE(rules.empty()) << TOLA_UDEV_RULES;
    for (const auto& p : builtin_profiles()) {
        char vendor[8], product[8] = "";
        std::snprintf(vendor, sizeof vendor, "%04x", p.vendor);
        if (p.product) std::snprintf(product, sizeof product, "%04x", *p.product);
        bool covered = false;
        for (const auto& r : rules)
            covered |= r.vendor == vendor && (r.product.empty() || r.product == product);
        EXPECT_TRUE(covered) << describe(p);
    }
    // Nothing beyond the instruments: every rule names a vendor of the table.
    for (const auto& r : rules) {
        bool known = false;
        for (const auto& p : builtin_profiles()) {
            char vendor[8];
            std::snprintf(vendor, sizeof vendor, "%04x", p.vendor);
            known |= r.vendor == vendor;
        }
        EXPECT_TRUE(known) << r.vendor;
    }
}

}  // namespace
}  // namespace tola::usbd
