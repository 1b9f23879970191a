// Fuzz target: the bridge's configuration file (usbd.conf) applied to the
// built-in product table. A refused text changes nothing and says which line.
#include "bridge/usb/product_table.h"

#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::vector<tola::usbd::ProductProfile> builtin = tola::usbd::builtin_profiles();
    std::vector<tola::usbd::ProductProfile> profiles = builtin;
    std::string error;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (!tola::usbd::apply_config(profiles, text, error)) {
        if (error.empty() || profiles.size() != builtin.size()) __builtin_trap();
        return 0;
    }
    for (const auto& p : profiles) (void)tola::usbd::find_profile(profiles, p.vendor, p.product.value_or(0));
    return 0;
}
