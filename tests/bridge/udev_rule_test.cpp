// The udev rule opens every device of the bridge's product table to the seat's user.
#include "bridge/usb/product_table.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace tola::usbd {
namespace {

struct RuleIds {
    std::string vendor, product;  // product empty: any
};

// The four hexadecimal digits after `key=="`, or nothing.
std::string value_after(const std::string& line, const std::string& key) {
    const std::string start = key + "==\"";
    const auto at = line.find(start);
    if (at == std::string::npos || at + start.size() + 5 > line.size()) return {};
    return line.substr(at + start.size(), 4);
}

std::vector<RuleIds> uaccess_rules() {
    std::ifstream in(TOLA_UDEV_RULES);
    std::vector<RuleIds> out;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#' || line.find("TAG+=\"uaccess\"") == std::string::npos) continue;
        const std::string vendor = value_after(line, "ATTR{idVendor}");
        if (!vendor.empty()) out.push_back({vendor, value_after(line, "ATTR{idProduct}")});
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
    // Nothing beyond the instruments: every rule names one product of the table
    // (a vendor-wide rule would open that vendor's hubs too).
    for (const auto& r : rules) {
        bool known = false;
        for (const auto& p : builtin_profiles()) {
            char vendor[8], product[8] = "";
            std::snprintf(vendor, sizeof vendor, "%04x", p.vendor);
            if (p.product) std::snprintf(product, sizeof product, "%04x", *p.product);
            known |= r.vendor == vendor && !r.product.empty() && r.product == product;
        }
        EXPECT_TRUE(known) << r.vendor << ":" << (r.product.empty() ? "*" : r.product);
    }
}

}  // namespace
}  // namespace tola::usbd
