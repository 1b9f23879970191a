// CKII_SETUP and CKNG_SETTINGS: the records the update program saves and
// restores around a firmware update.
#include <cstddef>

#include "comm/structures/converter_maps.h"
#include "tola_comm.h"

namespace tola::structures {
namespace {

constexpr std::size_t kTile = sizeof(CKII_REFERENCE_TILE);
constexpr std::size_t kRef = offsetof(CKII_SETUP, qRef);

// .24 on: dSensor to qqfTri as words, then four reference tiles of a name and 36 words.
constexpr std::array kSetupUnits{
    words(0, kRef / 4),
    names(kRef + 0 * kTile, 1), words(kRef + 0 * kTile + 28, 36),
    names(kRef + 1 * kTile, 1), words(kRef + 1 * kTile + 28, 36),
    names(kRef + 2 * kTile, 1), words(kRef + 2 * kTile + 28, 36),
    names(kRef + 3 * kTile, 1), words(kRef + 3 * kTile + 28, 36),
};

// Releases .22 and .23 lack dSensor, so the target starts with qtType and
// everything up to qqfTri lies 4 bytes earlier; they have no reference tiles.
// Their sensor is always type 14 with a fixed channel arrangement, which the
// host copy gets on upload instead of what the instrument holds there.
constexpr std::uint32_t kQtType[16] = {0x10111, 0x10101, 0x10111, 0x10011, 0x10001, 0x10011, 0x10101, 0x10101,
                                       0x10111, 0x10001, 0x10011, 0x10011, 0x10101, 0x10111, 0x10101, 0x10001};
constexpr std::size_t kQt = offsetof(CKII_SETUP, qtType);
constexpr std::size_t kAfterQt = offsetof(CKII_SETUP, qdFilter_center);
constexpr std::array kSetupShiftedUnits{
    host_constant(offsetof(CKII_SETUP, dSensor), 14),
    host_constant(kQt + 0, kQtType[0]),    host_constant(kQt + 4, kQtType[1]),
    host_constant(kQt + 8, kQtType[2]),    host_constant(kQt + 12, kQtType[3]),
    host_constant(kQt + 16, kQtType[4]),   host_constant(kQt + 20, kQtType[5]),
    host_constant(kQt + 24, kQtType[6]),   host_constant(kQt + 28, kQtType[7]),
    host_constant(kQt + 32, kQtType[8]),   host_constant(kQt + 36, kQtType[9]),
    host_constant(kQt + 40, kQtType[10]),  host_constant(kQt + 44, kQtType[11]),
    host_constant(kQt + 48, kQtType[12]),  host_constant(kQt + 52, kQtType[13]),
    host_constant(kQt + 56, kQtType[14]),  host_constant(kQt + 60, kQtType[15]),
    words(kAfterQt, kAfterQt - 4, (kRef - kAfterQt) / 4, Flow::UploadOnly),
    // The download writes the host's qtType too.
    words(kQt, 0, (kRef - kQt) / 4, Flow::DownloadOnly),
};
static_assert(kAfterQt == 68 && kRef == 704);

constexpr std::array kSetupRules{
    ConversionRule{{24, 32}, kSetupUnits},
    // .23 reports a target size of 1392 but still keeps the 1072-byte layout.
    ConversionRule{{22, 23}, kSetupShiftedUnits, true, true, 1072},
};

// .29 on: the whole record.  Older releases keep a prefix of it; the unit
// boundaries below are where those prefixes end.
constexpr std::array kSettingsUnits{
    words(0, offsetof(CKNG_SETTINGS, dBitValues1) / 4),                // fGain_lin .. qfDeltaE: all .24 and .25 hold
    words(offsetof(CKNG_SETTINGS, dBitValues1), 5),                    // dBitValues1, qfNNThreshold: .26 to .28
    words(offsetof(CKNG_SETTINGS, qfFilterLimits), 4),
    bytes(offsetof(CKNG_SETTINGS, bySapTabCounts), 4),                 // bySapTabCounts .. qbyRfu
    words(offsetof(CKNG_SETTINGS, dwSampleTime_ms), 2),
    bytes(offsetof(CKNG_SETTINGS, byDarkDeltaLimitWarning), 4),        // byDarkDeltaLimitWarning .. byRfu2
    words(offsetof(CKNG_SETTINGS, qfMCDCScale_outer), 32),
};
static_assert(offsetof(CKNG_SETTINGS, dBitValues1) == 332 && offsetof(CKNG_SETTINGS, qfFilterLimits) == 352);

// .22 and .23 keep a rearranged subset; fGain_lin, qfRef_slope, qfB,
// dLED_stable and everything from qfDeltaE on have no place there.
constexpr std::array kSettings22Units{
    words(offsetof(CKNG_SETTINGS, qfScale_outer), 0, 16),
    words(offsetof(CKNG_SETTINGS, qfScale_inner), 64, 16),
    words(offsetof(CKNG_SETTINGS, dACB_id), 128, 4),             // dACB_id, dAuto_min, dAuto_max, dSamples
    words(offsetof(CKNG_SETTINGS, fMeas_stable_black), 164, 4),  // .. dMeas_sample_white
    words(offsetof(CKNG_SETTINGS, fLED_drift_max), 184, 1),
    words(offsetof(CKNG_SETTINGS, dTimeout_standby), 208, 4),    // .. dBattery_ADC_low
};

constexpr std::array kSettingsRules{
    ConversionRule{{29, 32}, kSettingsUnits},
    ConversionRule{{26, 28}, std::span<const Unit>(kSettingsUnits).first(2)},
    ConversionRule{{24, 25}, std::span<const Unit>(kSettingsUnits).first(1)},
    ConversionRule{{22, 23}, kSettings22Units},
    // The first generation has no such record: an upload leaves the host copy
    // alone and succeeds, a download is refused.
    ConversionRule{{11, 20}, {}, true, false},
};

}  // namespace

constinit const StructureConverter kSetupConverter{
    StructureKind::Setup, 1392, ReleaseWord::Setup, 0, true, true, kSetupRules};
constinit const StructureConverter kSettingsConverter{
    StructureKind::Settings, 512, ReleaseWord::Settings, 0, false, true, kSettingsRules};

}  // namespace tola::structures
