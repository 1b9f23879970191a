#include "sim/content_settings.h"

#include <array>

#include "sim/content_writer.h"

namespace tola::sim {
namespace {

enum class Unit { U32, F32, Byte };

struct Field {
    int at;      // current layout
    int at_old;  // .22/.23, -1: not kept
    Unit unit;
    int count;   // values of 4 bytes (or bytes)
    float first;
    float step;  // value i = first + step * i
};

constexpr std::array<Field, 31> kFields{{
    {0, -1, Unit::F32, 1, 1.0f, 0},          // fGain_lin
    {4, -1, Unit::F32, 16, 1.0f, 0},         // qfRef_slope
    {68, -1, Unit::F32, 16, 0.0f, 0},        // qfB
    {132, 0, Unit::F32, 16, 1.02f, 0.01f},   // qfScale_outer
    {196, 64, Unit::F32, 16, 0.98f, 0.01f},  // qfScale_inner
    {260, 128, Unit::U32, 1, 3, 0},          // dACB_id
    {264, 132, Unit::U32, 1, 400, 0},        // dAuto_min
    {268, 136, Unit::U32, 1, 60000, 0},      // dAuto_max
    {272, 140, Unit::U32, 1, kDefaultSamples, 0},  // dSamples
    {276, -1, Unit::U32, 1, 10, 0},          // dLED_stable
    {280, 184, Unit::F32, 1, 0.02f, 0},      // fLED_drift_max
    {284, 164, Unit::F32, 1, 0.5f, 0},       // fMeas_stable_black
    {288, 168, Unit::U32, 1, 8, 0},          // dMeas_sample_black
    {292, 172, Unit::F32, 1, 0.25f, 0},      // fMeas_stable_white
    {296, 176, Unit::U32, 1, 16, 0},         // dMeas_sample_white
    {300, 208, Unit::U32, 1, 300, 0},        // dTimeout_standby
    {304, 212, Unit::U32, 1, 1800, 0},       // dTimeout_power
    {308, 216, Unit::U32, 1, 3900, 0},       // dBattery_ADC_full
    {312, 220, Unit::U32, 1, 3300, 0},       // dBattery_ADC_low
    {316, -1, Unit::F32, 4, 1.0f, 0},        // qfDeltaE (patched below)
    {332, -1, Unit::U32, 1, 5, 0},           // dBitValues1
    {336, -1, Unit::F32, 4, 0.6f, 0.1f},     // qfNNThreshold
    {352, -1, Unit::F32, 4, 0.05f, 0},       // qfFilterLimits (patched below)
    {368, -1, Unit::Byte, 1, 4, 0},          // bySapTabCounts
    {369, -1, Unit::Byte, 1, 80, 0},         // byTftBackLight
    {372, -1, Unit::U32, 1, 25, 0},          // dwSampleTime_ms
    {376, -1, Unit::U32, 1, 5000, 0},        // dwHidConnectTimeout_ms
    {380, -1, Unit::Byte, 1, 12, 0},         // byDarkDeltaLimitWarning
    {381, -1, Unit::Byte, 1, 30, 0},         // byDarkDeltaLimitError
    {384, -1, Unit::F32, 16, 1.0f, 0},       // qfMCDCScale_outer
    {448, -1, Unit::F32, 16, 1.0f, 0},       // qfMCDCScale_inner
}};

constexpr std::array<float, 4> kDeltaE{1.0f, 2.0f, 3.5f, 5.0f};
constexpr std::array<float, 4> kFilterLimits{0.05f, 0.95f, 0.1f, 0.9f};

// Bytes of the current layout a release keeps (for .22/.23 see at_old).
int kept_prefix(int n) {
    if (n >= 29) return 512;
    if (n >= 26) return 352;
    return 332;
}

}  // namespace

bool has_settings_record(int n) { return n >= 22; }

std::vector<std::uint8_t> settings_block(int n, std::uint32_t size, ByteOrder order) {
    std::vector<std::uint8_t> out(size, 0);
    ImageWriter w(out, order);
    const bool old = n < 24;
    for (const Field& f : kFields) {
        const int at = old ? f.at_old : f.at;
        if (at < 0 || (!old && f.at >= kept_prefix(n))) continue;
        for (int i = 0; i < f.count; ++i) {
            const auto pos = static_cast<std::size_t>(at);
            const auto idx = static_cast<std::size_t>(i);
            float v = f.first + f.step * static_cast<float>(i);
            if (f.at == 316) v = kDeltaE[idx];
            if (f.at == 352) v = kFilterLimits[idx];
            switch (f.unit) {
                case Unit::U32: w.u32(pos + 4 * idx, static_cast<std::uint32_t>(v)); break;
                case Unit::F32: w.f32(pos + 4 * idx, v); break;
                case Unit::Byte: w.u8(pos + idx, static_cast<std::uint8_t>(v)); break;
            }
        }
    }
    return out;
}

}  // namespace tola::sim
