#include "sim/content_results.h"

#include <algorithm>
#include <cmath>

#include "sim/content_writer.h"
#include "sim/shade_catalog.h"

namespace tola::sim {
namespace {

constexpr std::array<const char*, 16> kClassical{"A1", "A2", "A3", "A3.5", "A4", "B1", "B2", "B3",
                                                 "B4", "C1", "C2", "C3",   "C4", "D2", "D3", "D4"};
constexpr std::array<const char*, 16> kShades3d{"1M1", "1M2", "2L1.5", "2L2.5", "2M1", "2M2", "2M3", "2R1.5",
                                                "2R2.5", "3L1.5", "3L2.5", "3M1", "3M2", "3M3", "3R1.5", "4M2"};
// Between two neighbouring shades the instrument reports a half step.
constexpr std::array<const char*, 16> kInterpolated{"1M1", "1M1.5", "2M1.5", "2M2.5", "2M1", "2M1.5", "2M2.5", "2M2",
                                                    "2.5M2", "3M1.5", "3M2.5", "3M1", "3M1.5", "3M2.5", "3.5M2", "4M2"};
// One tooth area (three measurements) counts as one step of the rotation.
constexpr std::array<int, 6> kRotation{kind::kTooth,   kind::kTab,    kind::kToothArea,
                                       kind::kCeramic, kind::kVerify, kind::kToothAverage};

constexpr std::size_t kParms = 11, kDeltas = 17;
constexpr float kShortScale = 218.0f;

const char* verdict(int quality) {
    switch (quality) {
        case 1: return "Fair";
        case 2: return "Good";
        case 3: return "Excellent";
        default: return "Adjust";
    }
}

AreaResult area_for(std::uint32_t seed, std::size_t area) {
    const std::size_t idx = (seed * 5 + area * 3) % kClassical.size();
    AreaResult r;
    r.classical = kClassical[idx];
    r.classical2 = kClassical[(idx + 1) % kClassical.size()];
    r.classical3 = kClassical[(idx + 5) % kClassical.size()];
    const std::size_t idx3d = (idx * 7 + 12) % kShades3d.size();
    r.shade_3d = kShades3d[idx3d];
    r.interpolated = kInterpolated[idx3d];
    r.L = 78.0f - 1.2f * static_cast<float>(idx) - 2.0f * static_cast<float>(area);
    r.a = 0.5f + 0.15f * static_cast<float>(idx);
    r.b = 14.0f + 0.8f * static_cast<float>(idx);
    r.delta_e = 0.6f + 0.1f * static_cast<float>((seed + area) % 9);
    return r;
}

// L*a*b* (D65) to X, Y, Z on a 0..100 scale.
std::array<float, 3> xyz_of(const AreaResult& r) {
    const float fy = (r.L + 16.0f) / 116.0f, fx = fy + r.a / 500.0f, fz = fy - r.b / 200.0f;
    auto inv = [](float f) { return f > 6.0f / 29 ? f * f * f : 3 * (6.0f / 29) * (6.0f / 29) * (f - 4.0f / 29); };
    return {95.047f * inv(fx), 100.0f * inv(fy), 108.883f * inv(fz)};
}

float hue_of(float a, float b) {
    float h = std::atan2(b, a) * 180.0f / 3.1415925f;
    if (h < 0) h += 360.0f;
    return h;
}

std::array<float, kParms> parms_of(const AreaResult& r) {
    const float c = std::sqrt(r.a * r.a + r.b * r.b);
    const auto xyz = xyz_of(r);
    return {r.L / 100.0f, r.L, c, hue_of(r.a, r.b), r.a, r.b, xyz[0], xyz[1], xyz[2], 0.0f, 0.0f};
}

// Differences to the matched shade: a small offset per component, Delta E at 11.
std::array<float, kDeltas> deltas_of(const AreaResult& r) {
    std::array<float, kDeltas> d{};
    const float s = r.delta_e / 1.8f;
    d[1] = 0.8f * s;   // Delta L
    d[2] = -0.6f * s;  // Delta C
    d[3] = 0.4f * s;   // Delta H
    d[4] = -0.3f * s;  // Delta A
    d[5] = 0.9f * s;   // Delta B
    d[11] = r.delta_e;
    return d;
}

void put_shade_match(ImageWriter& w, std::size_t at, int shade, const AreaResult& r) {
    w.i32(at, shade);
    w.i32(at + 4, 1);
    w.u32(at + 8, 1);
    w.f32s(at + 12, deltas_of(r));
    for (std::size_t i = 0; i < 11; ++i) w.i32(at + 80 + 4 * i, shade + static_cast<int>(i));
}

int index_in(const char* const* names, std::size_t count, const std::string& name) {
    for (std::size_t i = 0; i < count; ++i)
        if (name == names[i]) return static_cast<int>(i);
    return -1;
}

int classical_index(const std::string& name) { return index_in(kClassical.data(), kClassical.size(), name); }

bool tooth_area(const MeasurementSample& m) { return m.mode == kind::kToothArea; }
bool has_areas(const MeasurementSample& m) { return m.mode != kind::kWhiteness && m.mode != kind::kCalibration; }

// Areas with data: a tooth area's areas so far, else the first.
std::size_t measured_areas(const MeasurementSample& m) {
    if (!has_areas(m)) return 0;
    return tooth_area(m) ? static_cast<std::size_t>(m.area_step) + 1 : 1;
}

// The classical names a record lists: per area for tooth areas, else the
// first area's three best.
std::string listed_classical(const MeasurementSample& m, std::size_t k) {
    if (tooth_area(m)) return k < measured_areas(m) ? m.areas[k].classical : "---";
    if (!has_areas(m)) return "---";
    const AreaResult& r = m.areas[0];
    return k == 0 ? r.classical : k == 1 ? r.classical2 : r.classical3;
}

// The further values of the results record, written at 840 there and at 592
// of the short record: 16-bit battery percent and temperature, four 16-bit LED
// drifts at +6, then the measurement number, integration time and kind as words.
void put_further_values(ImageWriter& w, std::size_t at, const MeasurementSample& m) {
    w.u16(at, 87);
    w.u16(at + 2, static_cast<std::uint16_t>(296 + m.number % 7));
    for (std::size_t i = 0; i < 4; ++i) w.u16(at + 6 + 2 * i, static_cast<std::uint16_t>(3 + i));
    w.u32(at + 16, m.number + 1);
    w.u32(at + 20, 40);
    w.u32(at + 24, static_cast<std::uint32_t>(m.mode));
}

// The record in the current layout; older releases take a part of it.
std::vector<std::uint8_t> full_results(const MeasurementSample& m, ByteOrder order) {
    std::vector<std::uint8_t> out(876, 0);
    ImageWriter w(out, order);
    w.i32(0, m.mode);
    w.i32(4, m.material);
    for (std::size_t k = 0; k < 3; ++k) w.i32(8 + 4 * k, m.area_states[k]);
    const std::size_t areas = measured_areas(m);
    for (std::size_t k = 0; k < 3; ++k) {
        const bool measured = k < areas;
        const AreaResult& r = m.areas[k];
        const std::string classical = listed_classical(m, k);
        w.text(20 + 26 * k, measured ? r.shade_3d : "---");
        w.text(98 + 26 * k, classical);
        w.text(524 + 26 * k, measured ? r.interpolated : "---");
        w.text(602 + 26 * k, measured ? second_block(r.interpolated) : "---");
        w.text(680 + 26 * k, measured && m.mode == kind::kToothAverage ? std::to_string(m.whiteness) : "---");
        w.text(758 + 26 * k, classical_block(classical));
        if (!measured) continue;
        w.f32s(176 + 4 * kParms * k, parms_of(r));
        w.f32s(308 + 4 * kDeltas * k, deltas_of(r));
    }
    w.i32(512, m.verify_system);
    w.i32(516, m.verify_quality);
    w.i32(520, m.verify_shade);
    w.i32(836, m.average_count);
    put_further_values(w, 840, m);
    w.i32(868, m.whiteness);
    return out;
}

// The details record in the current layout (7316 bytes).
std::vector<std::uint8_t> full_details(const MeasurementSample& m, ByteOrder order) {
    std::vector<std::uint8_t> out(7316, 0);
    ImageWriter w(out, order);
    ImageWriter le(out, ByteOrder::Little);  // the shade-match engine's block
    const std::size_t current = tooth_area(m) ? static_cast<std::size_t>(m.area_step) : 0;
    const AreaResult& area = m.areas[current];
    const std::size_t areas = measured_areas(m);
    if (areas > 0) {
        const auto spectrum = spectrum_of(area);
        const auto parms = parms_of(area);
        for (std::size_t s = 0; s < 3; ++s) {
            const std::size_t at = 328 * s;
            const float gain = 0.9f + 0.05f * static_cast<float>(s);
            for (std::size_t c = 0; c < 16; ++c) w.f32(at + 4 * c, spectrum[c * 2] * 4000.0f * gain);
            w.f32s(at + 160, parms);
            w.f32s(at + 204, spectrum);
        }
        w.f32s(984, parms);
    }
    for (std::size_t k = 0; k < 3; ++k) w.text(1028 + 26 * k, listed_classical(m, k));
    w.u32(1108, 1);
    for (std::size_t k = 0; k < areas; ++k) {
        put_shade_match(w, 1112 + 124 * k, classical_index(m.areas[k].classical) + 1, m.areas[k]);
        put_shade_match(le, 3128 + 124 * k, classical_index(m.areas[k].classical) + 1, m.areas[k]);
    }
    le.u32(3124, 1);
    // Area 0's second-system name is sn3D; the others follow the third area's match.
    for (std::size_t k = 0; k < areas; ++k) le.text(k == 0 ? 3096 : 3500 + 26 * (k - 1), m.areas[k].shade_3d);
    if (areas > 0) {
        le.f32s(6724, std::array<float, 3>{area.L, area.a, area.b});
        le.f32s(6736, parms_of(area));
        le.f32s(6780, deltas_of(area));
    }
    le.f32(6852, 1.5f);
    le.i32(6856, m.material);
    le.i32(6860, tooth_area(m) ? 3 : 1);
    le.i32(6864, m.mode);
    for (std::size_t k = 0; k < 3; ++k) le.i32(6868 + 4 * k, m.area_states[k]);
    le.text(6880, m.verify_name);
    le.i32(6908, m.verify_quality);
    le.text(6912, m.mode == kind::kVerify ? verdict(m.verify_quality) : "---");
    le.i32(6940, m.verify_system);
    for (std::size_t k = 0; k < areas; ++k) le.text(6944 + 26 * k, m.areas[k].interpolated);
    w.i32(7312, m.average_count);
    return out;
}

std::uint16_t short_value(float v) {
    const long magnitude = std::min(0x7FFFL, std::lround(std::fabs(v) * kShortScale));
    return static_cast<std::uint16_t>((std::signbit(v) ? 0x8000 : 0) | magnitude);
}

}  // namespace

int rotation_kind(std::uint32_t sequence, bool whiteness) {
    const std::size_t n = kRotation.size() + (whiteness ? 1 : 0);
    const std::size_t i = sequence % n;
    return i < kRotation.size() ? kRotation[i] : kind::kWhiteness;
}

std::array<float, 31> spectrum_of(const AreaResult& r) {
    std::array<float, 31> s{};
    for (std::size_t i = 0; i < s.size(); ++i) {
        const float x = (static_cast<float>(i) - 15.0f) / 15.0f;  // -1 at 400 nm, +1 at 700 nm
        const float v = r.L / 110.0f + x * r.b / 150.0f + std::max(0.0f, x) * r.a / 100.0f;
        s[i] = std::clamp(v, 0.01f, 1.0f);
    }
    return s;
}

MeasurementSample colour_measurement(std::uint32_t number, std::uint32_t seed, int mode, int area_step) {
    MeasurementSample m;
    m.number = number;
    m.seed = seed;
    m.mode = mode;
    if (mode == kind::kToothArea) {
        m.area_step = std::clamp(area_step, 0, 2);
        static constexpr std::array<std::array<int, 3>, 3> kStates{{{2, 0, 0}, {4, 2, 0}, {4, 4, 4}}};
        m.area_states = kStates[static_cast<std::size_t>(m.area_step)];
        for (std::size_t k = 0; k <= static_cast<std::size_t>(m.area_step); ++k) m.areas[k] = area_for(seed, k);
    } else if (mode != kind::kWhiteness) {
        m.area_states = {2, 0, 0};
        m.areas[0] = area_for(seed, 0);
    }
    if (mode == kind::kCeramic) m.material = 2;
    if (mode == kind::kVerify) {
        const AreaResult& r = m.areas[0];
        m.material = 2;
        m.verify_system = static_cast<int>(seed % 3);
        m.verify_quality = static_cast<int>(number % 4);  // 0 reads "Adjust"
        if (m.verify_system == 0) {
            m.verify_shade = classical_index(r.classical);
            m.verify_name = r.classical;
        } else if (m.verify_system == 1) {
            m.verify_shade = shade_code(Shades::Interpolated, r.interpolated) - 1;
            m.verify_name = r.interpolated;
        } else {
            m.verify_name = r.classical + " " + r.shade_3d;
        }
    }
    if (mode == kind::kToothAverage || mode == kind::kWhiteness) {
        m.average_count = 3;
        m.whiteness = 12 + static_cast<int>(seed % 7);
    }
    return m;
}

MeasurementSample calibration_measurement(std::uint32_t number) {
    MeasurementSample m;
    m.number = number;
    m.mode = kind::kCalibration;
    m.area_states = {2, 0, 0};
    m.areas[0].L = 94.8f;
    m.areas[0].a = -0.6f;
    m.areas[0].b = 2.1f;
    return m;
}

std::vector<std::uint8_t> results_block(const MeasurementSample& m, int n, std::uint32_t size, ByteOrder order) {
    const std::vector<std::uint8_t> full = full_results(m, order);
    std::vector<std::uint8_t> out(size, 0);
    auto copy = [&](std::size_t from, std::size_t to, std::size_t len) {
        len = std::min(len, out.size() > to ? out.size() - to : 0);
        std::copy_n(full.begin() + static_cast<std::ptrdiff_t>(from), len, out.begin() + static_cast<std::ptrdiff_t>(to));
    };
    if (n >= 24) {
        // Each release keeps the part of the record that it knows.
        const std::size_t kept = n >= 31 ? 876 : n >= 29 ? 868 : n >= 27 ? 840 : n >= 25 ? 836 : 524;
        copy(0, 0, std::min<std::size_t>(kept, size));
        return out;
    }
    // .22/.23: the head of the record, area 1's differences after it, and the verdict.
    copy(0, 0, 220);
    copy(308, 220, 68);
    copy(516, 292, 4);
    return out;
}

std::vector<std::uint8_t> details_block(const MeasurementSample& m, int n, std::uint32_t size, ByteOrder order) {
    const std::vector<std::uint8_t> full = full_details(m, order);
    std::vector<std::uint8_t> out(size, 0);
    auto copy = [&](std::size_t from, std::size_t to, std::size_t len) {
        if (to >= out.size()) return;
        len = std::min(len, out.size() - to);
        std::copy_n(full.begin() + static_cast<std::ptrdiff_t>(from), len, out.begin() + static_cast<std::ptrdiff_t>(to));
    };
    if (n >= 26) {
        copy(0, 0, size);
    } else if (n == 25) {
        copy(0, 0, 3096);
        copy(6944, 3096, 120);
        copy(3216, 3216, 6944 - 3216);
        copy(3096, 6944, 120);
    } else if (n >= 22) {
        copy(0, 0, 6944);
    } else {
        // The first generation keeps less after q3D; its record ends with the
        // fields from qf3D to iVerify_system.
        const std::size_t tail = n >= 16 ? 6528 : 6280;
        copy(0, 0, tail);
        copy(6724, tail, 220);
    }
    return out;
}

std::vector<std::uint8_t> short_result_block(const MeasurementSample& m, std::uint32_t size) {
    std::vector<std::uint8_t> out(std::max<std::uint32_t>(size, 624), 0);
    ImageWriter w(out, ByteOrder::Little);
    ImageWriter be(out, ByteOrder::Big);  // colour values go high byte first
    auto value = [&](std::size_t at, float v) { be.u16(at, short_value(v)); };
    out[0] = static_cast<std::uint8_t>(m.mode);
    out[1] = static_cast<std::uint8_t>(m.material);
    out[2] = static_cast<std::uint8_t>(m.average_count);
    out[4] = static_cast<std::uint8_t>(m.verify_system);
    out[5] = static_cast<std::uint8_t>(m.verify_quality);
    out[6] = static_cast<std::uint8_t>(m.verify_shade);
    out[23] = static_cast<std::uint8_t>(m.whiteness);
    const std::size_t areas = measured_areas(m);
    if (tooth_area(m)) {
        for (std::size_t k = 0; k < 3; ++k) {
            out[8 + k] = static_cast<std::uint8_t>(m.area_states[k]);
            if (k >= areas) continue;
            out[12 + k] = shade_code(Shades::Second, m.areas[k].shade_3d);
            out[16 + k] = shade_code(Shades::Interpolated, m.areas[k].interpolated);
            out[24 + k] = shade_code(Shades::Classical, m.areas[k].classical);
        }
    } else if (areas > 0) {
        const AreaResult& r = m.areas[0];
        out[12] = shade_code(Shades::Second, r.shade_3d);
        out[16] = shade_code(Shades::Interpolated, r.interpolated);
        out[24] = shade_code(Shades::Classical, r.classical);
        if (m.mode != kind::kVerify) {
            out[25] = shade_code(Shades::Classical, r.classical2);
            out[26] = shade_code(Shades::Classical, r.classical3);
        }
        if (m.mode == kind::kToothAverage) out[20] = static_cast<std::uint8_t>(m.whiteness + 1);
    }
    for (std::size_t k = 0; k < areas; ++k) {
        const AreaResult& r = m.areas[k];
        const auto parms = parms_of(r);
        const auto deltas = deltas_of(r);
        const std::size_t at = 12 * k;
        value(28 + at, r.L);
        value(30 + at, r.a);
        value(32 + at, r.b);
        value(34 + at, parms[6]);
        value(36 + at, parms[7]);
        value(38 + at, parms[8]);
        value(64 + at, deltas[1]);
        value(66 + at, deltas[4]);
        value(68 + at, deltas[5]);
        static constexpr std::size_t kOrder[6] = {11, 1, 2, 3, 4, 5};
        for (std::size_t c = 0; c < 6; ++c) {
            value(100 + at + 2 * c, deltas[kOrder[c]]);
            value(136 + at + 2 * c, deltas[kOrder[c]]);
        }
    }
    if (areas > 0) {
        const std::size_t current = tooth_area(m) ? static_cast<std::size_t>(m.area_step) : 0;
        const AreaResult& r = m.areas[current];
        const auto spectrum = spectrum_of(r);
        const auto parms = parms_of(r);
        for (std::size_t s = 0; s < 3; ++s) {
            const std::size_t at = 172 + 140 * s;
            const float gain = 0.9f + 0.05f * static_cast<float>(s);
            for (std::size_t c = 0; c < 16; ++c) w.f32(at + 4 * c, spectrum[c * 2] * 4000.0f * gain);
            static constexpr std::size_t kParmOrder[6] = {1, 4, 5, 6, 7, 8};
            for (std::size_t c = 0; c < 6; ++c) value(at + 64 + 2 * c, parms[kParmOrder[c]]);
            for (std::size_t i = 0; i < 31; ++i) value(at + 76 + 2 * i, spectrum[i]);
        }
    }
    put_further_values(w, 592, m);
    out.resize(size);
    return out;
}

std::vector<std::uint8_t> classic_results_entry(const MeasurementSample& m, std::uint32_t size, ByteOrder order) {
    std::vector<std::uint8_t> out(size, 0);
    ImageWriter w(out, order);
    const std::size_t current = tooth_area(m) ? static_cast<std::size_t>(m.area_step) : 0;
    const AreaResult& r = m.areas[current];
    w.u32(0, 6);
    w.f32s(4, spectrum_of(r));
    w.f32s(128, parms_of(r));
    w.text(176, r.classical);
    w.text(202, r.classical2);
    w.text(228, r.classical3);
    w.f32s(256, deltas_of(r));
    w.text(328, r.shade_3d);
    w.f32s(368, deltas_of(r));
    int k = 0;
    if (m.mode == kind::kTab || m.mode == kind::kTab2) k = 1;
    if (m.mode == kind::kVerify) k = 2;
    if (m.mode == kind::kCeramic) k = 3;
    w.i32(444, k);
    w.i32(448, tooth_area(m) ? m.area_step : 0);
    w.i32(452, tooth_area(m) ? 1 : 0);
    w.i32(460, m.verify_system);
    w.text(464, m.mode == kind::kVerify ? m.verify_name : "");
    w.text(490, m.mode == kind::kVerify ? verdict(m.verify_quality) : "");
    w.f32s(560, deltas_of(r));
    return out;
}

}  // namespace tola::sim
