#include "comm/measurements/interpretation.h"

#include "comm/measurements/record_fields.h"
#include "comm/measurements/shade_names.h"
#include "comm/platform/clock.h"

#include <algorithm>
#include <cstring>

namespace tola::measurements {
namespace {

using namespace kind_status;

// Fields of a first-generation results entry (host layout).
namespace entry {
inline constexpr std::size_t kState = 0, kSpectrum = 4, kParm = 128, kClassical = 176, kClassicalDelta = 256,
                             kSecond = 328, kSecondDelta = 368, kKind = 444, kAreaStep = 448, kAreaFlag = 452,
                             kVerifySystem = 460, kVerifyShade = 464, kVerdict = 490, kVerifyDelta = 560;
inline constexpr std::uint32_t kComplete = 6;
}  // namespace entry

// Kinds of a first-generation entry.
enum FirstGenKind : std::int32_t { kFirstTooth = 0, kFirstTab = 1, kFirstVerify = 2, kFirstCeramic = 3 };

// Measurement kinds of the later generations (iMode).
enum Mode : std::int32_t {
    kModeTooth = 1,
    kModeToothArea = 2,
    kModeVerify = 3,
    kModeTab = 4,
    kModeCeramic = 5,
    kModeToothAverage = 6,
    kModeTab2 = 7,
    kModeWhiteness = 12,
};

constexpr std::int32_t kAreaMeasured = 2;
constexpr std::int32_t kAreaComplete = 4;

void set_material(COMM_MEASUREMENT& m, const char* text) { set_name(m.snMaterial, text); }

template <std::size_t N>
void copy_floats(float (&dst)[N], const void* src) {
    std::memcpy(dst, src, sizeof dst);
}

std::span<const std::uint8_t, kFirstGenEntrySize> entry_of(std::span<const std::uint8_t> table, std::size_t index) {
    return std::span<const std::uint8_t, kFirstGenEntrySize>(table.data() + index * kFirstGenEntrySize,
                                                            kFirstGenEntrySize);
}

std::uint32_t state_of(std::span<const std::uint8_t, kFirstGenEntrySize> e) { return u32_at(e.data(), entry::kState); }

bool one_of(std::string_view layout, std::initializer_list<std::string_view> names) {
    return std::find(names.begin(), names.end(), layout) != names.end();
}

// Layouts .16 to .18 keep a single measurement in entry 1 and the three areas
// of a tooth-area measurement in entries 0, 1, 2.
void interpret_first_16(COMM_MEASUREMENT& m, std::span<const std::uint8_t> table,
                        std::span<const std::uint8_t, kFirstGenEntrySize> e) {
    const auto first = entry_of(table, 0);
    switch (i32_at(e.data(), entry::kKind)) {
        case kFirstTab:
            set_material(m, "Tab");
            m.tStatus = kTab;
            fill_area_from_entry(m.Single, entry_of(table, 1));
            break;
        case kFirstVerify:
            set_material(m, "Verify");
            m.tStatus = kVerify;
            break;
        case kFirstCeramic:
            set_material(m, "Ceramic");
            m.tStatus = kCeramic;
            fill_area_from_entry(m.Single, entry_of(table, 1));
            break;
        case kFirstTooth:
            if (state_of(first) == entry::kComplete) {
                for (std::size_t k = 0; k < 3; ++k) fill_area_from_entry(m.qArea[k], entry_of(table, k));
                if (state_of(entry_of(table, 2)) == entry::kComplete)
                    m.tStatus = kAllAreas;
                else if (state_of(e) == entry::kComplete)
                    m.tStatus = kArea1 | kArea2;
                else
                    m.tStatus = kArea1;
            } else {
                set_material(m, "Tooth");
                m.tStatus = kTooth;
                fill_area_from_entry(m.Single, entry_of(table, 1));
            }
            break;
        default:
            break;
    }
}

// Layouts .19 and .20: the entry itself, and for the last area of a tooth
// area the two entries after it (the earlier areas).
void interpret_first_19(COMM_MEASUREMENT& m, std::span<const std::uint8_t> table, std::size_t index) {
    const auto e = entry_of(table, index);
    if (state_of(e) != entry::kComplete) return;
    if (i32_at(e.data(), entry::kAreaFlag) == 1) {
        switch (i32_at(e.data(), entry::kAreaStep)) {
            case 2:
                fill_area_from_entry(m.qArea[2], e);
                fill_area_from_entry(m.qArea[1], entry_of(table, (index + 1) % kFirstGenEntries));
                fill_area_from_entry(m.qArea[0], entry_of(table, (index + 2) % kFirstGenEntries));
                m.tStatus = kAllAreas;
                break;
            case 0: m.tStatus = kArea1; break;
            case 1: m.tStatus = kArea1 | kArea2; break;
            default: break;
        }
        set_material(m, "Tooth Area");
        return;
    }
    fill_area_from_entry(m.Single, e);
    switch (i32_at(e.data(), entry::kKind)) {
        case kFirstTab:
            set_material(m, "Tab");
            m.tStatus = kTab;
            break;
        case kFirstVerify:
            set_material(m, "Verify Ceramic");
            m.tStatus = kVerify;
            m.iVerify_shade_system = u32_at(e.data(), entry::kVerifySystem);
            set_name(m.snVerify_shade, reinterpret_cast<const char*>(e.data() + entry::kVerifyShade));
            set_name(m.snVerify_result, reinterpret_cast<const char*>(e.data() + entry::kVerdict));
            copy_floats(m.qfVerDelta, e.data() + entry::kVerifyDelta);
            break;
        case kFirstCeramic:
            set_material(m, "Ceramic");
            m.tStatus = kCeramic;
            break;
        case kFirstTooth:
            set_material(m, "Tooth");
            m.tStatus = kTooth;
            break;
        default:
            break;
    }
}

void single_from_results(COMM_MEASUREMENT& m, const CKII_RESULTS& r, const char* material, std::uint32_t status) {
    set_material(m, material);
    m.tStatus = status;
    fill_area_from_results(m.Single, r, 0, true);
}

void verification_from_results(COMM_MEASUREMENT& m, const CKII_RESULTS& r) {
    set_material(m, "Verify Ceramic");
    m.tStatus = kVerify;
    m.iVerify_shade_system = static_cast<std::uint32_t>(r.iVerify_system);
    switch (r.iVerify_system) {
        case 0: set_name(m.snVerify_shade, shade_name_by_index(ShadeTable::Classical, r.iVerify_shade)); break;
        case 1:
            set_name(m.snVerify_shade, shade_name_by_index(ShadeTable::SecondInterpolated, r.iVerify_shade));
            break;
        case 2: {
            // An unterminated name is no name.
            if (::strnlen(r.qsnClassical[0], sizeof(TNAME)) == sizeof(TNAME) ||
                ::strnlen(r.qsn3D[0], sizeof(TNAME)) == sizeof(TNAME))
                break;
            char both[2 * sizeof(TNAME) + 2] = {};
            bStr_cpy(both, r.qsnClassical[0], sizeof both);
            bStr_cat(both, " ", sizeof both);
            bStr_cat(both, r.qsn3D[0], sizeof both);
            set_name(m.snVerify_shade, both);
            set_name(m.Single.snClassical, r.qsnClassical[0]);
            set_name(m.Single.sn3D, r.qsn3D[0]);
            break;
        }
        default: break;
    }
    set_name(m.snVerify_result, verdict_word(r.iVerify_quality));
    copy_floats(m.qfVerDelta, r.qfDelta[0]);
}

void tooth_area_from_results(COMM_MEASUREMENT& m, const CKII_RESULTS& r) {
    set_material(m, "Tooth Area");
    for (std::size_t a = 0; a < 3; ++a) fill_area_from_results(m.qArea[a], r, a, false);
    fill_name_blocks(m, r);
    static constexpr std::uint32_t kMeasuredBits[3] = {kArea1, kArea2, kArea3};
    static constexpr std::uint32_t kCompleteBits[3] = {kArea1Complete, kArea2Complete, kAllAreas};
    for (std::size_t a = 0; a < 3; ++a) {
        if (r.qiAreaState[a] == kAreaMeasured) m.tStatus |= kMeasuredBits[a];
        if (r.qiAreaState[a] == kAreaComplete) m.tStatus |= kCompleteBits[a];
    }
}

void accumulate_tooth_area(COMM_MEASUREMENT& m, const TOLA_SHADE_MATCH_DETAILS& d, const CKII_RESULTS& names,
                           COMM_MEASUREMENT& acc) {
    if (d.qiStatus[0] == kAreaMeasured) {
        std::memset(&acc, 0, sizeof acc);
        m.tStatus |= kArea1;
        fill_area_from_details(acc.qArea[0], d);
    } else if (d.qiStatus[1] == kAreaMeasured) {
        m.tStatus |= kArea1 | kArea2;
        fill_area_from_details(acc.qArea[1], d);
    } else if (d.qiStatus[2] == kAreaComplete) {
        std::memcpy(&m, &acc, sizeof m);
        m.dSize = sizeof(COMM_MEASUREMENT);
        m.dTime = platform::tick_ms();
        m.tStatus |= kAllAreas;
        fill_area_from_details(m.qArea[2], d);
        for (std::size_t k = 0; k < 3; ++k) {
            set_name(m.qArea[k].snClassical, names.qsnClassical[k]);
            set_name(m.qArea[k].sn3D, names.qsn3D[k]);
        }
    }
    set_material(m, "Tooth Area");
}

}  // namespace

const char* verdict_word(std::int32_t quality) {
    switch (quality) {
        case 1: return "Fair";
        case 2: return "Good";
        case 3: return "Excellent";
        default: return "Adjust";
    }
}

void fill_area_from_entry(TOOTH_AREA& area, std::span<const std::uint8_t, kFirstGenEntrySize> e) {
    const std::uint8_t* p = e.data();
    copy_floats(area.qfSpectrum, p + entry::kSpectrum);
    copy_floats(area.qfParm, p + entry::kParm);
    set_name(area.snClassical, reinterpret_cast<const char*>(p + entry::kClassical));
    set_name(area.snClassical2, reinterpret_cast<const char*>(p + entry::kClassical + sizeof(TNAME)));
    set_name(area.snClassical3, reinterpret_cast<const char*>(p + entry::kClassical + 2 * sizeof(TNAME)));
    copy_floats(area.qfClassical_delta, p + entry::kClassicalDelta);
    set_name(area.sn3D, reinterpret_cast<const char*>(p + entry::kSecond));
    copy_floats(area.qf3D_delta, p + entry::kSecondDelta);
}

void interpret_first_generation(COMM_MEASUREMENT& m, std::span<const std::uint8_t> table, std::size_t index,
                                std::string_view layout) {
    if (table.size() < kFirstGenEntries * kFirstGenEntrySize || index >= kFirstGenEntries) return;
    if (one_of(layout, {"CK0A.00.16.00", "CK0A.00.17.00", "CK0A.00.18.00"}))
        interpret_first_16(m, table, entry_of(table, index));
    else if (one_of(layout, {"CK0A.00.19.00", "CK0A.00.20.00"}))
        interpret_first_19(m, table, index);
}

void fill_area_from_details(TOOTH_AREA& area, const TOLA_SHADE_MATCH_DETAILS& d) {
    const SENSOR_DETAILS& principal = d.qSensor[2];
    copy_floats(area.qfSpectrum, principal.qfSpectrum);
    copy_floats(area.qfParm, principal.qfParmWt);
    set_name(area.snClassical, d.qsnClassical[0]);
    set_name(area.snClassical2, d.qsnClassical[1]);
    set_name(area.snClassical3, d.qsnClassical[2]);
    copy_floats(area.qfClassical_delta, d.qClassical.qfDelta);
    set_name(area.sn3D, d.sn3D);
    copy_floats(area.qf3D_delta, d.q3D.qfDelta);
}

void fill_area_from_results(TOOTH_AREA& area, const CKII_RESULTS& r, std::size_t a, bool single) {
    copy_floats(area.qfParm, r.qfParm[a]);
    copy_floats(area.qfClassical_delta, r.qfDelta[a]);
    set_name(area.sn3D, r.qsn3D[a]);
    if (single) {
        set_name(area.snClassical, r.qsnClassical[0]);
        set_name(area.snClassical2, r.qsnClassical[1]);
        set_name(area.snClassical3, r.qsnClassical[2]);
    } else {
        set_name(area.snClassical, r.qsnClassical[a]);
    }
    // No classical shade, no differences to one.
    if (std::strncmp(area.snClassical, kNoShade, sizeof area.snClassical) == 0)
        std::fill(std::begin(area.qfClassical_delta), std::end(area.qfClassical_delta), 0.0f);
}

void fill_name_blocks(COMM_MEASUREMENT& m, const CKII_RESULTS& r) {
    for (std::size_t k = 0; k < 3; ++k) {
        set_name(m.qsn3DInterp[k], r.qsn3DInterp[k]);
        set_name(m.qsnClassicalBlock[k], r.qsnClassicalBlock[k]);
        set_name(m.qsn3DBlock[k], r.qsn3DBlock[k]);
        set_name(m.qsn3DBleached[k], r.qsn3DBleached[k]);
    }
}

void interpret_results(COMM_MEASUREMENT& m, const CKII_RESULTS& r) {
    m.iAverageCount = 1;
    switch (r.iMode) {
        case kModeTooth:
            single_from_results(m, r, "Tooth", kTooth);
            fill_name_blocks(m, r);
            break;
        case kModeToothArea: tooth_area_from_results(m, r); break;
        case kModeVerify: verification_from_results(m, r); break;
        case kModeTab:
        case kModeTab2: single_from_results(m, r, "Tab", kTab); break;
        case kModeCeramic: single_from_results(m, r, "Ceramic", kCeramic); break;
        case kModeToothAverage:
            single_from_results(m, r, "Tooth", kToothAverage);
            m.iAverageCount = static_cast<std::uint32_t>(r.iAverageCount);
            m.iWIO2BGU = static_cast<std::uint32_t>(r.iWhiteness);
            fill_name_blocks(m, r);
            break;
        case kModeWhiteness:
            set_material(m, "Tooth");
            m.tStatus = kToothWhiteness;
            m.iAverageCount = static_cast<std::uint32_t>(r.iAverageCount);
            m.iWIO2BGU = static_cast<std::uint32_t>(r.iWhiteness);
            break;
        default: break;
    }
}

void interpret_details(COMM_MEASUREMENT& m, const TOLA_SHADE_MATCH_DETAILS& d, const CKII_RESULTS& names,
                       COMM_MEASUREMENT& accumulator) {
    auto single = [&](const char* material, std::uint32_t status) {
        set_material(m, material);
        m.tStatus = status;
        fill_area_from_details(m.Single, d);
    };
    switch (d.iMode) {
        case kModeTooth: single("Tooth", kTooth); break;
        case kModeToothArea: accumulate_tooth_area(m, d, names, accumulator); break;
        case kModeVerify:
            single("Verify Ceramic", kVerify);
            m.iVerify_shade_system = static_cast<std::uint32_t>(d.iVerify_system) + 1;
            set_name(m.snVerify_shade, d.snVerify_shade);
            set_name(m.snVerify_result, verdict_word(d.iVerify_quality));
            if (d.iVerify_system == 0)
                copy_floats(m.qfVerDelta, d.qClassical.qfDelta);
            else
                copy_floats(m.qfVerDelta, d.qf3D_delta);
            break;
        case kModeTab:
        case kModeTab2: single("Tab", kTab); break;
        case kModeCeramic: single("Ceramic", kCeramic); break;
        case kModeToothAverage: single("Tooth", kToothAverage); break;
        default: break;
    }
}

COMM_MEASUREMENT& tooth_area_accumulator() {
    static COMM_MEASUREMENT accumulator{};
    return accumulator;
}

}  // namespace tola::measurements
