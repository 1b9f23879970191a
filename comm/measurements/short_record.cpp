#include "comm/measurements/short_record.h"

#include "comm/measurements/interpretation.h"
#include "comm/measurements/record_fields.h"
#include "comm/measurements/shade_names.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace tola::measurements {
namespace {

// The instruments take pi in single precision.
constexpr float kPi = 3.1415925f;
constexpr float kValueScale = 218.0f;

// Header bytes.
namespace at {
inline constexpr std::size_t kMode = 0, kMaterial = 1, kAverage = 2, kVerifySystem = 4, kVerifyQuality = 5,
                             kVerifyShade = 6, kAreaState = 8, kSecondCode = 12, kInterpolatedCode = 16,
                             kBleached = 20, kWhiteness = 23, kClassicalCode = 24, kLab = 28, kXyz = 34,
                             kDelta = 64, kSecondDeltas = 100, kClassicalDeltas = 136, kSensor = 172,
                             kSensorParm = 236, kSensorSpectrum = 248, kFurther = 592;
inline constexpr std::size_t kAreaStride = 12, kSensorStride = 140;
// Sensor values the record keeps per sensor: 16 words.
inline constexpr std::size_t kSensorValues = 16;
}  // namespace at

void set_code_name(char* field, ShadeTable table, std::uint8_t code) {
    set_name(field, shade_name_by_code(table, code));
}

void set_number(char* field, unsigned value) {
    char text[12];
    std::snprintf(text, sizeof text, "%u", value);
    set_name(field, text);
}

bool single_area_mode(std::int32_t mode) {
    return mode == 1 || mode == 4 || mode == 5 || mode == 6 || mode == 7 || mode == 11;
}

// Colour parameters and differences of area k into row k of the results.
void area_values(CKII_RESULTS& r, std::size_t k, const std::uint8_t* p) {
    const std::uint8_t* lab = p + at::kLab + at::kAreaStride * k;
    const float L = short_value(lab), a = short_value(lab + 2), b = short_value(lab + 4);
    const LightnessChromaHue lch = lightness_chroma_hue(L, a, b);
    float* parm_row = r.qfParm[k];
    parm_row[parm::kL] = lch.L;
    parm_row[parm::kC] = lch.C;
    parm_row[parm::kH] = lch.H;
    parm_row[parm::kA] = a;
    parm_row[parm::kB] = b;
    const std::uint8_t* xyz = p + at::kXyz + at::kAreaStride * k;
    parm_row[parm::kX] = short_value(xyz);
    parm_row[parm::kY] = short_value(xyz + 2);
    parm_row[parm::kZ] = short_value(xyz + 4);
    const std::uint8_t* dv = p + at::kDelta + at::kAreaStride * k;
    r.qfDelta[k][delta::kL] = short_value(dv);
    r.qfDelta[k][delta::kA] = short_value(dv + 2);
    r.qfDelta[k][delta::kB] = short_value(dv + 4);
}

// The shades of area k: interpolated and its block from one code, the
// second-system shade from another, classical and its block from a third.
void area_names(CKII_RESULTS& r, TOLA_SHADE_MATCH_DETAILS& d, std::size_t k, std::uint8_t interpolated,
                std::uint8_t second, std::uint8_t classical) {
    set_code_name(r.qsn3DInterp[k], ShadeTable::SecondInterpolated, interpolated);
    set_code_name(r.qsn3DBlock[k], ShadeTable::SecondBlock, interpolated);
    set_code_name(r.qsn3D[k], ShadeTable::Second, second);
    set_code_name(r.qsnClassical[k], ShadeTable::Classical, classical);
    set_code_name(r.qsnClassicalBlock[k], ShadeTable::ClassicalBlock, classical);
    set_name(d.qsnClassical[k], r.qsnClassical[k]);
    set_name(name_at(d, kInterpolatedNameOffset + sizeof(TNAME) * k), r.qsn3DInterp[k]);
    set_name(name_at(d, second_name_offset(k)), r.qsn3D[k]);
}

void decode_single(CKII_RESULTS& r, TOLA_SHADE_MATCH_DETAILS& d, const std::uint8_t* p) {
    set_code_name(r.qsn3DInterp[0], ShadeTable::SecondInterpolated, p[at::kInterpolatedCode]);
    set_code_name(r.qsn3DBlock[0], ShadeTable::SecondBlock, p[at::kInterpolatedCode]);
    set_number(r.qsn3DBleached[0], p[at::kWhiteness]);
    set_name(name_at(d, kInterpolatedNameOffset), r.qsn3DInterp[0]);
    set_code_name(r.qsn3D[0], ShadeTable::Second, p[at::kSecondCode]);
    set_name(d.sn3D, r.qsn3D[0]);
    for (std::size_t j = 0; j < 3; ++j) {
        set_code_name(r.qsnClassical[j], ShadeTable::Classical, p[at::kClassicalCode + j]);
        set_code_name(r.qsnClassicalBlock[j], ShadeTable::ClassicalBlock, p[at::kClassicalCode + j]);
        set_name(d.qsnClassical[j], r.qsnClassical[j]);
    }
    for (std::size_t k = 0; k < 3; ++k) {
        area_values(r, k, p);
        const std::uint8_t bleached = p[at::kBleached + k];
        if (bleached > 0) set_number(r.qsn3DBleached[k], r.iMode == 11 ? bleached : bleached - 1u);
    }
    r.iWhiteness = p[at::kWhiteness];
}

void decode_tooth_area(CKII_RESULTS& r, TOLA_SHADE_MATCH_DETAILS& d, const std::uint8_t* p) {
    for (std::size_t k = 0; k < 3; ++k) {
        r.qiAreaState[k] = p[at::kAreaState + k];
        if (r.qiAreaState[k] != 2 && r.qiAreaState[k] != 4) continue;
        area_names(r, d, k, p[at::kInterpolatedCode + k], p[at::kSecondCode + k], p[at::kClassicalCode + k]);
        area_values(r, k, p);
    }
}

// "~name" of a code; the field keeps "---" when the code names no shade.
void set_near_name(char* field, ShadeTable table, std::uint8_t code) {
    const char* name = shade_name_by_code(table, code);
    if (name == nullptr) return;
    char text[sizeof(TNAME) + 1];
    std::snprintf(text, sizeof text, "~%s", name);
    set_name(field, text);
}

void decode_verification(CKII_RESULTS& r, TOLA_SHADE_MATCH_DETAILS& d, const std::uint8_t* p) {
    switch (r.iVerify_system) {
        case 0:
            set_code_name(r.qsnClassical[0], ShadeTable::Classical, p[at::kClassicalCode]);
            set_name(d.snVerify_shade, r.qsnClassical[0]);
            break;
        case 1:
            set_code_name(r.qsn3DInterp[0], ShadeTable::SecondInterpolated, p[at::kInterpolatedCode]);
            set_name(d.snVerify_shade, r.qsn3DInterp[0]);
            break;
        case 2: {
            set_near_name(r.qsnClassical[0], ShadeTable::Classical, p[at::kClassicalCode]);
            set_near_name(r.qsn3DInterp[0], ShadeTable::SecondInterpolated, p[at::kInterpolatedCode]);
            set_near_name(r.qsn3D[0], ShadeTable::Second, p[at::kSecondCode]);
            char both[2 * sizeof(TNAME)];
            std::snprintf(both, sizeof both, "%s %s", r.qsnClassical[0], r.qsn3DInterp[0]);
            set_name(d.snVerify_shade, both);
            break;
        }
        default: break;
    }
    // The decoder's field is two characters short of the verdict's full word.
    set_name(d.snVerify_quality, d.iVerify_quality == 3 ? "Excell" : verdict_word(d.iVerify_quality));
}

void sensor_records(const CKII_RESULTS& r, TOLA_SHADE_MATCH_DETAILS& d, const std::uint8_t* p) {
    for (std::size_t k = 0; k < 3; ++k) {
        SENSOR_DETAILS& s = d.qSensor[k];
        const std::uint8_t* base = p + at::kSensorStride * k;
        std::memcpy(s.qfSensor, base + at::kSensor, at::kSensorValues * sizeof(float));
        const std::uint8_t* v = base + at::kSensorParm;
        const float L = short_value(v), A = short_value(v + 2), B = short_value(v + 4);
        s.qfParmWt[parm::kA] = A;
        s.qfParmWt[parm::kB] = B;
        s.qfParmWt[parm::kX] = short_value(v + 6);
        s.qfParmWt[parm::kY] = short_value(v + 8);
        s.qfParmWt[parm::kZ] = short_value(v + 10);
        const LightnessChromaHue lch = lightness_chroma_hue(L, A, B);
        s.qfParmWt[parm::kL] = lch.L;
        s.qfParmWt[parm::kC] = lch.C;
        s.qfParmWt[parm::kH] = lch.H;
        for (std::size_t i = 0; i < 31; ++i) s.qfSpectrum[i] = short_value(base + at::kSensorSpectrum + 2 * i);

        static constexpr std::size_t kComponents[6] = {delta::kE, delta::kL, delta::kC,
                                                       delta::kH, delta::kA, delta::kB};
        const std::pair<std::size_t, std::size_t> matches[2] = {
            {kSecondMatchOffset + kShadeMatchStride * k, at::kSecondDeltas + at::kAreaStride * k},
            {kClassicalMatchOffset + kShadeMatchStride * k, at::kClassicalDeltas + at::kAreaStride * k}};
        for (const auto& [offset, from] : matches) {
            SHADE_MATCH m = read_shade_match(d, offset);
            for (std::size_t c = 0; c < 6; ++c) m.qfDelta[kComponents[c]] = short_value(p + from + 2 * c);
            const float dl = m.qfDelta[delta::kL], da = m.qfDelta[delta::kA], db = m.qfDelta[delta::kB];
            m.qfDelta[delta::kE] = std::sqrt(dl * dl + da * da + db * db);
            write_shade_match(d, offset, m);
        }
    }
    for (std::size_t k = 0; k < 3; ++k) d.qiStatus[k] = r.qiAreaState[k];
}

}  // namespace

float short_value(const std::uint8_t* p) {
    const auto magnitude = static_cast<std::uint32_t>((p[0] & 0x7F) << 8 | p[1]);
    const float value = static_cast<float>(magnitude) / kValueScale;
    return (p[0] & 0x80) != 0 ? -value : value;
}

LightnessChromaHue lightness_chroma_hue(float L, float a, float b) {
    const float C = std::sqrt(a * a + b * b);
    float H;
    if (a == 0.0f)
        H = b >= 0.0f ? 90.0f : 270.0f;
    else if (b == 0.0f)
        H = a > 0.0f ? 0.0f : 180.0f;
    else {
        H = std::atan2(b, a) * 180.0f / kPi;
        if (b < 0.0f) H += 360.0f;
    }
    return {L, C, H};
}

void decode_short_record(CKII_RESULTS& r, TOLA_SHADE_MATCH_DETAILS& d,
                         std::span<const std::uint8_t, kShortRecordSize> record) {
    const std::uint8_t* p = record.data();
    for (std::size_t k = 0; k < 3; ++k) {
        for (char* field : {r.qsn3DInterp[k], r.qsn3D[k], r.qsn3DBlock[k], r.qsn3DBleached[k], r.qsnClassical[k],
                            r.qsnClassicalBlock[k]})
            set_name(field, kNoShade);
    }
    r.iMode = d.iMode = p[at::kMode];
    r.iMaterial = d.iMaterial = p[at::kMaterial];
    r.iAverageCount = d.iAverageCount = p[at::kAverage];
    r.iVerify_system = d.iVerify_system = p[at::kVerifySystem];
    r.iVerify_quality = d.iVerify_quality = p[at::kVerifyQuality];
    r.iVerify_shade = p[at::kVerifyShade];
    std::memcpy(r.qdFurther, p + at::kFurther, sizeof r.qdFurther);

    if (single_area_mode(r.iMode))
        decode_single(r, d, p);
    else if (r.iMode == 2)
        decode_tooth_area(r, d, p);
    else if (r.iMode == 3)
        decode_verification(r, d, p);
    else if (r.iMode == 12)
        r.iWhiteness = p[at::kWhiteness];
    sensor_records(r, d, p);
}

}  // namespace tola::measurements
