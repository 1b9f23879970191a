#include "comm/structures/host_copies.h"

#include "comm/api/bounded_string.h"

#include <cstring>
#include <initializer_list>

namespace tola::structures {
namespace {

struct DefaultShade {
    const char* name;
    float L, a, b;
};

struct DefaultShadeTable {
    const char* name;
    std::initializer_list<DefaultShade> shades;
};

// Offsets of the shade-table layout used by the defaults.
constexpr std::size_t kShadeCountOffset = 28;
constexpr std::size_t kShadeCodeOffset = 596;
constexpr std::size_t kShadeLabOffset = 1108;

void place_shade_table(std::uint8_t* table, const DefaultShadeTable& source) {
    std::memcpy(table, source.name, ::strnlen(source.name, 25));
    const auto count = static_cast<std::uint32_t>(source.shades.size());
    std::memcpy(table + kShadeCountOffset, &count, 4);
    std::uint16_t code = 1;
    std::size_t i = 0;
    for (const DefaultShade& shade : source.shades) {
        std::memcpy(table + kShadeCodeOffset + 2 * i, &code, 2);
        const float lab[3] = {shade.L, shade.a, shade.b};
        std::memcpy(table + kShadeLabOffset + 12 * i, lab, sizeof lab);
        ++code;
        ++i;
    }
}

BuiltInDefaults make_defaults() {
    BuiltInDefaults d;
    std::memset(&d, 0, sizeof d);
    COMM_VERSION& v = d.version;
    // The layout this library is built for.
    bStr_cpy(v.snName, "Chromatik\xAE V", kNameCopySize);
    bStr_cpy(v.snSerial_number, "H50000", kNameCopySize);
    bStr_cpy(v.snRelease, "511tD", kNameCopySize);
    bStr_cpy(v.snVersion, "CK0A.00.31.00", kNameCopySize);
    bStr_cpy(v.snRelease_date, "January 16, 2022", kNameCopySize);
    bStr_cpy(v.snInstall_date, "Not Installed", kNameCopySize);
    bStr_cpy(v.snPart, "TBD", kNameCopySize);
    bStr_cpy(v.snMFG1, "CPU-STM", kNameCopySize);
    bStr_cpy(v.snMFG2, "2", kNameCopySize);
    bStr_cpy(v.snMFG3, "2x", kNameCopySize);

    d.setup = CKII_SETUP{
#include "data/default_setup.inc"
    };
    static const DefaultShadeTable kTables[kShadeTableCount] = {
#include "data/default_shade_tables.inc"
    };
    for (std::size_t t = 0; t < kShadeTableCount; ++t)
        place_shade_table(d.shade_tables.data() + t * kShadeTableSize, kTables[t]);
    return d;
}

}  // namespace

HostCopies& host_copies() {
    static HostCopies copies{};
    return copies;
}

bool& ps_parameters_current() {
    static bool current = false;
    return current;
}

const BuiltInDefaults& built_in_defaults() {
    static BuiltInDefaults defaults = make_defaults();  // writable storage: callers get plain addresses
    return defaults;
}

}  // namespace tola::structures
