#include "bridge/usb/product_table.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <sstream>

namespace tola::usbd {
namespace {

constexpr std::uint16_t kTolaVendor = 0xE1A7;
constexpr std::uint16_t kRenesasVendor = 0x045B;

std::string_view trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

std::optional<unsigned long> parse_number(std::string_view text, int base_hint, unsigned long max) {
    text = trim(text);
    int base = base_hint;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty()) return std::nullopt;
    unsigned long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc{} || end != text.data() + text.size() || value > max) return std::nullopt;
    return value;
}

std::optional<bool> parse_flag(std::string_view v) {
    if (v == "yes" || v == "true" || v == "1" || v == "on") return true;
    if (v == "no" || v == "false" || v == "0" || v == "off") return false;
    return std::nullopt;
}

// "vvvv:pppp" or "vvvv:*".
bool parse_section(std::string_view s, std::uint16_t& vendor, std::optional<std::uint16_t>& product) {
    const auto colon = s.find(':');
    if (colon == std::string_view::npos) return false;
    const auto v = parse_number(s.substr(0, colon), 16, 0xFFFF);
    if (!v) return false;
    vendor = static_cast<std::uint16_t>(*v);
    const auto rest = trim(s.substr(colon + 1));
    if (rest == "*") {
        product.reset();
        return true;
    }
    const auto p = parse_number(rest, 16, 0xFFFF);
    if (!p) return false;
    product = static_cast<std::uint16_t>(*p);
    return true;
}

bool parse_endpoints(std::string_view value, std::vector<std::uint8_t>& out) {
    out.clear();
    std::istringstream in{std::string(value)};
    std::string word;
    while (in >> word) {
        const auto e = parse_number(word, 16, 0xFF);
        if (!e || (*e & 0x70) != 0 || (*e & 0x0F) == 0) return false;  // endpoint 1..15, IN bit 7
        out.push_back(static_cast<std::uint8_t>(*e));
    }
    return !out.empty();
}

bool set_field(ProductProfile& p, std::string_view key, std::string_view value, std::string& why) {
    if (key == "name") {
        p.name = std::string(value);
    } else if (key == "protocol") {
        if (value == "pipes") p.protocol = Protocol::Pipes;
        else if (value == "request-block") p.protocol = Protocol::RequestBlock;
        else return why = "protocol is pipes or request-block", false;
    } else if (key == "interface" || key == "alt-setting") {
        const auto n = parse_number(value, 10, 255);
        if (!n) return why = "a number from 0 to 255 is expected", false;
        (key == "interface" ? p.interface_number : p.alt_setting) = static_cast<int>(*n);
        if (key == "alt-setting") p.alt_setting_given = true;
    } else if (key == "pipes") {
        if (!parse_endpoints(value, p.pipes)) return why = "endpoint addresses such as 0x81 0x02 are expected", false;
    } else if (key == "out" || key == "in") {
        std::vector<std::uint8_t> one;
        if (!parse_endpoints(value, one) || one.size() != 1) return why = "one endpoint address is expected", false;
        const bool in = (one[0] & 0x80) != 0;
        if (in != (key == "in")) return why = "the endpoint's direction does not fit", false;
        (key == "in" ? p.in_endpoint : p.out_endpoint) = one[0];
    } else if (key == "ezusb-name") {
        const auto f = parse_flag(value);
        if (!f) return why = "yes or no is expected", false;
        p.ezusb_name = *f;
    } else {
        return why = "unknown key", false;
    }
    return true;
}

}  // namespace

std::vector<ProductProfile> builtin_profiles() {
    std::vector<ProductProfile> t;
    // The first generation's EZ-USB: commands out on pipe 2, status in on pipe 0,
    // memory data in on pipe 1 and out on pipe 3, in the interface's endpoint order.
    t.push_back({kTolaVendor, 0x5061, "Chromatik (first generation)", Protocol::Pipes, 0, 0, {}, {}, {}, true});
    t.push_back({kTolaVendor, 0x5062, "Chromatik Portivo", Protocol::RequestBlock, 0, 0, {}, {}, {}, false});
    t.push_back({kTolaVendor, 0x5063, "Chromatik (product 0x5063)", Protocol::RequestBlock, 0, 0, {}, {}, {}, false});
    t.push_back({kRenesasVendor, 0x0025, "Renesas H8SX boot mode", Protocol::RequestBlock, 0, 0, {}, {}, {}, false});
    // Other Renesas products (the vendor makes hubs too) only through the configuration file.
    return t;
}

const ProductProfile* find_profile(const std::vector<ProductProfile>& profiles, std::uint16_t vendor,
                                   std::uint16_t product) {
    const ProductProfile* vendor_wide = nullptr;
    for (const auto& p : profiles) {
        if (!p.matches(vendor, product)) continue;
        if (p.product) return &p;
        if (!vendor_wide) vendor_wide = &p;
    }
    return vendor_wide;
}

const ProductProfile* served_profile(const std::vector<ProductProfile>& profiles, const DeviceInfo& device) {
    if (device.hub) return nullptr;
    return find_profile(profiles, device.vendor, device.product);
}

bool apply_config(std::vector<ProductProfile>& profiles, std::string_view text, std::string& error) {
    std::vector<ProductProfile> result = profiles;
    ProductProfile* current = nullptr;
    int line_number = 0;
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        ++line_number;
        if (const auto c = line.find_first_of("#;"); c != std::string_view::npos) line = line.substr(0, c);
        line = trim(line);
        if (line.empty()) continue;
        const auto fail = [&](const std::string& why) {
            error = "line " + std::to_string(line_number) + ": " + why;
            return false;
        };
        if (line.front() == '[') {
            if (line.back() != ']') return fail("a section ends with ']'");
            std::uint16_t vendor = 0;
            std::optional<std::uint16_t> product;
            if (!parse_section(trim(line.substr(1, line.size() - 2)), vendor, product))
                return fail("a section names vendor:product in hexadecimal, or vendor:*");
            auto it = std::find_if(result.begin(), result.end(),
                                   [&](const auto& p) { return p.vendor == vendor && p.product == product; });
            if (it == result.end()) {
                ProductProfile added;
                added.vendor = vendor;
                added.product = product;
                char name[32];
                std::snprintf(name, sizeof name, "USB device %04x:%04x", vendor, product.value_or(0));
                added.name = name;
                // A specific entry goes before the vendor-wide ones.
                it = result.insert(product ? result.begin() : result.end(), added);
            }
            current = &*it;
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string_view::npos) return fail("\"key = value\" expected");
        if (!current) return fail("a setting before the first [vendor:product] section");
        const auto key = trim(line.substr(0, eq));
        const auto value = trim(line.substr(eq + 1));
        std::string why;
        if (!set_field(*current, key, value, why)) return fail(std::string(key) + ": " + why);
    }
    profiles = std::move(result);
    return true;
}

namespace {

bool has_endpoint(const std::vector<Endpoint>& list, std::uint8_t address) {
    return std::any_of(list.begin(), list.end(), [&](const Endpoint& e) { return e.bulk && e.address == address; });
}

bool fits(const ProductProfile& p, const std::vector<Endpoint>& list) {
    std::size_t bulk = 0, in = 0, out = 0;
    for (const auto& e : list) {
        if (!e.bulk) continue;
        ++bulk;
        (e.in() ? in : out) += 1;
    }
    if (p.protocol == Protocol::Pipes) {
        if (!p.pipes.empty())
            return std::all_of(p.pipes.begin(), p.pipes.end(), [&](std::uint8_t a) { return has_endpoint(list, a); });
        return bulk >= 4;  // status and data in, command and data out
    }
    const bool out_ok = p.out_endpoint ? has_endpoint(list, *p.out_endpoint) : out > 0;
    const bool in_ok = p.in_endpoint ? has_endpoint(list, *p.in_endpoint) : in > 0;
    return out_ok && in_ok;
}

}  // namespace

std::size_t choose_alt_setting(const ProductProfile& profile, const std::vector<std::vector<Endpoint>>& settings) {
    if (profile.alt_setting_given) return static_cast<std::size_t>(profile.alt_setting);
    for (std::size_t i = 0; i < settings.size(); ++i)
        if (fits(profile, settings[i])) return i;
    return 0;
}

std::string describe(const ProductProfile& p) {
    char id[24];
    if (p.product) std::snprintf(id, sizeof id, "%04x:%04x", p.vendor, *p.product);
    else std::snprintf(id, sizeof id, "%04x:*", p.vendor);
    std::string s = std::string(id) + " " + p.name + " (" +
                    (p.protocol == Protocol::Pipes ? "pipes" : "request-block") + ", interface " +
                    std::to_string(p.interface_number) + "." + std::to_string(p.alt_setting) + ")";
    return s;
}

}  // namespace tola::usbd
