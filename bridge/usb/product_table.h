// How each instrument's USB device is driven: which protocol its channel codes
// carry, which interface is claimed and which endpoints serve which codes.  The
// built-in table is data; a configuration file can change any entry or add one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bridge/usb/usb_backend.h"

namespace tola::usbd {

enum class Protocol {
    Pipes,         // first generation: pipe numbers address bulk endpoints
    RequestBlock,  // later generation and boot mode: one bulk OUT, one bulk IN endpoint
};

struct ProductProfile {
    std::uint16_t vendor = 0;
    std::optional<std::uint16_t> product;  // none: any product of the vendor
    std::string name;
    Protocol protocol = Protocol::RequestBlock;
    int interface_number = 0;
    int alt_setting = 0;
    // Pipes: pipe n is pipes[n]; empty: the bulk endpoints in the order the
    // interface lists them.
    std::vector<std::uint8_t> pipes;
    // RequestBlock: empty: the interface's first bulk OUT and first bulk IN endpoint.
    std::optional<std::uint8_t> out_endpoint;
    std::optional<std::uint8_t> in_endpoint;
    // Also served under the EZ-USB driver's device name "ezusb-0".
    bool ezusb_name = false;
    // The configuration names the setting; else the one with the endpoints is used.
    bool alt_setting_given = false;

    bool matches(std::uint16_t v, std::uint16_t p) const { return v == vendor && (!product || *product == p); }
};

// The instruments the bridge serves, most specific entries first.
std::vector<ProductProfile> builtin_profiles();

// The profile of a device: an exact vendor and product entry before a
// vendor-wide one; none when the device is no instrument.
const ProductProfile* find_profile(const std::vector<ProductProfile>& profiles, std::uint16_t vendor,
                                   std::uint16_t product);

// The profile the bridge serves the device with: its profile, none for a hub
// whatever the table says (a vendor-wide entry must not take a hub of that vendor).
const ProductProfile* served_profile(const std::vector<ProductProfile>& profiles, const DeviceInfo& device);

// Applies a configuration text to the profiles.  Sections "[vvvv:pppp]" or
// "[vvvv:*]" (hexadecimal) name an entry, which is created when it is new;
// lines "key = value" set its fields:
//   name = text
//   protocol = pipes | request-block
//   interface = N          alt-setting = N
//   pipes = 0x81 0x82 0x02 0x06      (endpoint addresses of pipe 0, 1, ...)
//   out = 0x01             in = 0x81
//   ezusb-name = yes | no
// '#' and ';' start comments.  On an error nothing is changed and `error`
// names the line.
bool apply_config(std::vector<ProductProfile>& profiles, std::string_view text, std::string& error);

std::string describe(const ProductProfile& profile);

// The alternate setting of the claimed interface to use, as an index into the
// settings' endpoint lists: the configured one, else the first that has the
// endpoints the profile drives (some first-generation devices keep their bulk
// endpoints in setting 1), else the first.
std::size_t choose_alt_setting(const ProductProfile& profile, const std::vector<std::vector<Endpoint>>& settings);

}  // namespace tola::usbd
