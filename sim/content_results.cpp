#include "sim/content_results.h"

#include <algorithm>
#include <cmath>

#include "sim/content_writer.h"

namespace tola::sim {
namespace {

constexpr std::array<const char*, 16> kClassical{"A1", "A2", "A3", "A3.5", "A4", "B1", "B2", "B3",
                                                 "B4", "C1", "C2", "C3",   "C4", "D2", "D3", "D4"};
constexpr std::array<const char*, 16> kShades3d{"1M1", "1M2", "2L1.5", "2L2.5", "2M1", "2M2", "2M3", "2R1.5",
                                                "2R2.5", "3L1.5", "3L2.5", "3M1", "3M2", "3M3", "3R1.5", "4M2"};
constexpr std::array<int, 6> kRotation{kind::kTooth,   kind::kTab,    kind::kToothArea,
                                       kind::kCeramic, kind::kVerify, kind::kToothAverage};

constexpr std::size_t kParms = 11, kDeltas = 17;

const char* verdict(int quality) {
    switch (quality) {
        case 1: return "Fair";
        case 2: return "Good";
        case 3: return "Excellent";
        default: return "Adjust";
    }
}

AreaResult area_for(std::uint32_t number, std::size_t area) {
    const std::size_t idx = (number * 5 + area * 3) % kClassical.size();
    AreaResult r;
    r.classical = kClassical[idx];
    r.classical2 = kClassical[(idx + 1) % kClassical.size()];
    r.classical3 = kClassical[(idx + 5) % kClassical.size()];
    r.shade_3d = kShades3d[(idx * 7 + 12) % kShades3d.size()];
    r.interpolated = r.shade_3d;
    r.L = 78.0f - 1.2f * static_cast<float>(idx) - 2.0f * static_cast<float>(area);
    r.a = 0.5f + 0.15f * static_cast<float>(idx);
    r.b = 14.0f + 0.8f * static_cast<float>(idx);
    r.delta_e = 0.6f + 0.1f * static_cast<float>((number + area) % 9);
    return r;
}

// L*a*b* (D65) to X, Y, Z on a 0..100 scale.
std::array<float, 3> xyz_of(const AreaResult& r) {
    const float fy = (r.L + 16.0f) / 116.0f, fx = fy + r.a / 500.0f, fz = fy - r.b / 200.0f;
    auto inv = [](float f) { return f > 6.0f / 29 ? f * f * f : 3 * (6.0f / 29) * (6.0f / 29) * (f - 4.0f / 29); };
    return {95.047f * inv(fx), 100.0f * inv(fy), 108.883f * inv(fz)};
}

std::array<float, kParms> parms_of(const AreaResult& r) {
    const float c = std::sqrt(r.a * r.a + r.b * r.b);
    float h = std::atan2(r.b, r.a) * 180.0f / 3.1415925f;
    if (h < 0) h += 360.0f;
    const auto xyz = xyz_of(r);
    return {r.L / 100.0f, r.L, c, h, r.a, r.b, xyz[0], xyz[1], xyz[2], 0.0f, 0.0f};
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

int classical_index(const std::string& name) {
    const auto it = std::find(kClassical.begin(), kClassical.end(), name);
    return it == kClassical.end() ? -1 : static_cast<int>(it - kClassical.begin());
}

std::size_t area_count(const MeasurementSample& m) { return m.mode == kind::kToothArea ? 3 : 1; }

// The record in the current layout; older releases take a part of it.
std::vector<std::uint8_t> full_results(const MeasurementSample& m, ByteOrder order) {
    std::vector<std::uint8_t> out(876, 0);
    ImageWriter w(out, order);
    w.i32(0, m.mode);
    w.i32(4, m.material);
    for (std::size_t k = 0; k < 3; ++k) w.i32(8 + 4 * k, m.area_states[k]);
    for (std::size_t k = 0; k < 3; ++k) {
        const bool measured = k < area_count(m);
        const AreaResult& r = m.areas[k];
        w.text(20 + 26 * k, r.shade_3d);
        // A single-area record lists the three best classical shades of its area.
        const std::string& classical =
            measured && area_count(m) == 3 ? r.classical : (k == 0 ? r.classical : k == 1 ? m.areas[0].classical2
                                                                                          : m.areas[0].classical3);
        w.text(98 + 26 * k, classical);
        w.text(524 + 26 * k, r.interpolated);
        w.text(602 + 26 * k, r.shade_3d);
        w.text(680 + 26 * k, measured && m.mode == kind::kToothAverage ? std::to_string(m.whiteness) : "---");
        w.text(758 + 26 * k, classical);
        if (!measured) continue;
        w.f32s(176 + 4 * kParms * k, parms_of(r));
        w.f32s(308 + 4 * kDeltas * k, deltas_of(r));
    }
    w.i32(512, m.verify_system);
    w.i32(516, m.verify_quality);
    w.i32(520, m.verify_shade);
    w.i32(836, m.average_count);
    return out;
}

}  // namespace

std::array<float, 31> spectrum_of(const AreaResult& r) {
    std::array<float, 31> s{};
    for (std::size_t i = 0; i < s.size(); ++i) {
        const float x = (static_cast<float>(i) - 15.0f) / 15.0f;  // -1 at 400 nm, +1 at 700 nm
        const float v = r.L / 110.0f + x * r.b / 150.0f + std::max(0.0f, x) * r.a / 100.0f;
        s[i] = std::clamp(v, 0.01f, 1.0f);
    }
    return s;
}

MeasurementSample colour_measurement(std::uint32_t number) {
    MeasurementSample m;
    m.number = number;
    m.mode = kRotation[number % kRotation.size()];
    for (std::size_t k = 0; k < 3; ++k) m.areas[k] = area_for(number, k);
    if (m.mode == kind::kToothArea) {
        m.area_states = {4, 4, 4};
    } else {
        m.area_states = {2, 0, 0};
        for (std::size_t k = 1; k < 3; ++k) m.areas[k] = AreaResult{};
    }
    if (m.mode == kind::kCeramic) m.material = 2;
    if (m.mode == kind::kVerify) {
        m.verify_system = 0;
        m.verify_quality = static_cast<int>(number % 4);  // 0 reads "Adjust"
        m.verify_shade = classical_index(m.areas[0].classical);
        m.verify_name = m.areas[0].classical;
    }
    if (m.mode == kind::kToothAverage) {
        m.average_count = 3;
        m.whiteness = 12 + static_cast<int>(number % 7);
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
    std::vector<std::uint8_t> full = full_results(m, order);
    if (n >= 31) ImageWriter(full, order).i32(868, m.whiteness);
    std::vector<std::uint8_t> out(size, 0);
    if (n >= 24) {
        std::copy_n(full.begin(), std::min<std::size_t>(size, 876), out.begin());
        return out;
    }
    // .22/.23: the head of the record, area 1's differences after it, and the verdict.
    auto copy = [&](std::size_t from, std::size_t to, std::size_t len) {
        if (to + len <= out.size()) std::copy_n(full.begin() + static_cast<std::ptrdiff_t>(from), len, out.begin() + static_cast<std::ptrdiff_t>(to));
    };
    copy(0, 0, 220);
    copy(308, 220, 68);
    copy(516, 292, 4);
    return out;
}

std::vector<std::uint8_t> details_block(const MeasurementSample& m, int n, std::uint32_t size, ByteOrder order) {
    std::vector<std::uint8_t> out(size, 0);
    ImageWriter w(out, order);
    ImageWriter le(out, ByteOrder::Little);  // the shade-match engine's block
    const AreaResult& first = m.areas[0];
    const auto spectrum = spectrum_of(first);
    const auto parms = parms_of(first);
    for (std::size_t s = 0; s < 3; ++s) {
        const std::size_t at = 328 * s;
        const float gain = 0.9f + 0.05f * static_cast<float>(s);
        for (std::size_t c = 0; c < 16; ++c) w.f32(at + 4 * c, spectrum[c * 2] * 4000.0f * gain);
        w.f32s(at + 160, parms);
        w.f32s(at + 204, spectrum);
    }
    w.f32s(984, parms);
    const bool areas = m.mode == kind::kToothArea;
    for (std::size_t k = 0; k < 3; ++k) {
        const AreaResult& r = areas ? m.areas[k] : first;
        w.text(1028 + 26 * k, areas ? r.classical : k == 0 ? r.classical : k == 1 ? r.classical2 : r.classical3);
    }
    w.u32(1108, 1);
    for (std::size_t k = 0; k < area_count(m); ++k) {
        put_shade_match(w, 1112 + 124 * k, classical_index(m.areas[k].classical) + 1, m.areas[k]);
        put_shade_match(le, 3128 + 124 * k, classical_index(m.areas[k].classical) + 1, m.areas[k]);
    }
    if (!areas) le.u32(3124, 1);
    for (std::size_t k = 0; k < area_count(m); ++k) le.text(3096 + 26 * k, m.areas[k].shade_3d);
    le.f32s(6724, std::array<float, 3>{first.L, first.a, first.b});
    le.f32s(6736, parms);
    le.f32s(6780, deltas_of(first));
    le.f32(6852, 1.5f);
    le.i32(6856, m.material);
    le.i32(6860, areas ? 3 : 1);
    le.i32(6864, m.mode);
    for (std::size_t k = 0; k < 3; ++k) le.i32(6868 + 4 * k, m.area_states[k]);
    le.text(6880, m.verify_name);
    le.i32(6908, m.verify_quality);
    le.text(6912, m.mode == kind::kVerify ? verdict(m.verify_quality) : "---");
    le.i32(6940, m.verify_system);
    if (n >= 26) {
        for (std::size_t k = 0; k < area_count(m); ++k) le.text(6944 + 26 * k, m.areas[k].interpolated);
        w.i32(7312, m.average_count);
    }
    return out;
}

std::vector<std::uint8_t> classic_results_entry(const MeasurementSample& m, std::uint32_t size, ByteOrder order) {
    std::vector<std::uint8_t> out(size, 0);
    ImageWriter w(out, order);
    const AreaResult& r = m.areas[0];
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
    if (m.mode == kind::kTab) k = 1;
    if (m.mode == kind::kVerify) k = 2;
    if (m.mode == kind::kCeramic) k = 3;
    w.i32(444, k);
    w.i32(448, m.mode == kind::kToothArea ? 2 : 0);
    w.i32(452, m.mode == kind::kToothArea ? 1 : 0);
    w.i32(460, m.verify_system);
    w.text(464, m.verify_name);
    w.text(490, m.mode == kind::kVerify ? verdict(m.verify_quality) : "");
    w.f32s(560, deltas_of(r));
    return out;
}

}  // namespace tola::sim
