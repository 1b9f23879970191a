// Measurement block, results and measurement details.
#include <cstddef>

#include "comm/structures/converter_maps.h"
#include "tola_comm.h"

namespace tola::structures {
namespace {

// ---- measurement block (2280 bytes) ----------------------------------------

// The 16-bit region at 708 sits two bytes later in the targets of .29 to .31:
// host h <-> target h + 2, so the host's last half-word (902) and the target's
// first (708) are left alone.  .32 reports it in place but still expects it
// shifted on download, where it also stops after byte 1943; an upload followed
// by a download does not give back what .32 reported there.
constexpr std::array kMeas32UploadUnits{
    words(0, 177), halves(708, 96), words(900, 261), halves(1944, 32),
    words(2008, 16), halves(2072, 32), words(2136, 32),
};
constexpr std::array kMeas32DownloadUnits{words(0, 177), halves(708, 710, 95), words(900, 261)};
constexpr std::array kMeas30Units{words(0, 177), halves(708, 710, 97), words(904, 79)};
constexpr std::array kMeas29Units{words(0, 177), halves(708, 710, 97), words(904, 47)};
constexpr std::array kMeas24Units{words(0, 115)};
// .22, .23: three words, then five blocks of 16 words in the instrument's own
// order; host 76..203 has no place there.
constexpr std::array kMeas22Units{
    words(0, 3), words(12, 152, 16), words(204, 88, 16), words(268, 24, 16), words(332, 280, 16), words(396, 216, 16),
};

constexpr std::array kMeasRules{
    ConversionRule{{32, 32}, kMeas32UploadUnits, true, false},
    ConversionRule{{32, 32}, kMeas32DownloadUnits, false, true},
    ConversionRule{{30, 31}, kMeas30Units},
    ConversionRule{{29, 29}, kMeas29Units},
    ConversionRule{{24, 28}, kMeas24Units},
    ConversionRule{{22, 23}, kMeas22Units},
};

// ---- results (CKII_RESULTS, 876 bytes) --------------------------------------

// Each release tier from .25 on holds a longer prefix of this list.
constexpr std::array kResultsUnits{
    words(0, 5),        // iMode, iMaterial, area states
    names(20, 6),       // qsn3D, qsnClassical
    words(176, 87),     // qfParm .. iVerify_shade
    names(524, 12),     // .25, .26 end here
    words(836, 1),      // .27, .28 end here
    halves(840, 2), halves(846, 4),  // .29, .30 end here
    words(856, 4), bytes(872, 1),
};
static_assert(offsetof(CKII_RESULTS, qsn3DInterp) == 524 && offsetof(CKII_RESULTS, iAverageCount) == 836);

// .24 ends before the interpolated names; the host gets them from the 3D
// names at 20, 46 and 72, and the download writes those back from them.
constexpr std::array kResults24Units{words(0, 5), names(20, 6), words(176, 87), names(524, 20, 3)};

// .22, .23 (296 bytes) know one area: the head, the names and area 0's qfParm
// in place, area 0's qfDelta at 220, and iVerify_quality sent at 292.  The
// upload also takes the two verify words at 512 of the staging, which lie
// beyond what these releases report.
constexpr std::array kResults22Units{
    words(0, 5), names(20, 6), words(176, 11), words(308, 220, 17), names(524, 20, 3),
    words(516, 292, 1, Flow::DownloadOnly), words(512, 512, 2, Flow::UploadOnly),
};

constexpr std::array kResultsRules{
    ConversionRule{{31, 32}, kResultsUnits},
    ConversionRule{{29, 30}, std::span<const Unit>(kResultsUnits).first(7)},
    ConversionRule{{27, 28}, std::span<const Unit>(kResultsUnits).first(5)},
    ConversionRule{{25, 26}, std::span<const Unit>(kResultsUnits).first(4)},
    ConversionRule{{24, 24}, kResults24Units},
    ConversionRule{{22, 23}, kResults22Units},
};

// ---- measurement details (TOLA_SHADE_MATCH_DETAILS, 7316 bytes) -------------

// 3096..6971 holds names and data the instrument keeps as they are; it moves
// without byte-order reversal.
constexpr std::array kDetailsUnits{
    words(0, 257),         // sensor records, qfT
    bytes(1028, 78),       // qsnClassical
    words(1108, 497),      // tClassical_method .. 3095
    bytes(3096, 3876),     // sn3D .. 6971
    words(6972, 86),       // 6972 .. iAverageCount
};
constexpr std::array kDetails26Units{
    words(0, 257), bytes(1028, 78), words(1108, 497), bytes(3096, 3876), words(6972, 85),
};
// .24 (6944 bytes) holds everything up to iVerify_system in place; its 3D name
// slot at 3096 is sent the text the host keeps at 6944.
constexpr std::array kDetails24Units{
    words(0, 257), bytes(1028, 78), words(1108, 497), bytes(3096, 3848),
    texts(6944, 3096, 1, Flow::DownloadOnly),
};
// .25 (7064 bytes) swaps two 120-byte blocks: the head of the second-system
// block (sn3D, t3D_method and most of q3D: host 3096..3215) lies at
// 6944..7063, and what the host keeps at 6944..7063 (the interpolated name
// as text, then 23 words) lies at 3096..3215.  Host 7064..7315 has no place
// in this release.
constexpr std::array kDetails25Units{
    words(0, 257), bytes(1028, 78), words(1108, 497),
    bytes(3096, 6944, 120), bytes(3216, 3728), texts(6944, 3096, 1), words(6972, 3124, 23),
};
// .22 keeps the .24 layout.
constexpr std::array kDetails22Units{words(0, 257), bytes(1028, 78), words(1108, 497), bytes(3096, 3848)};
// Before .22 the further detail data after q3D is shorter and the tail from
// qf3D to iVerify_system (host 6724..6943, 220 bytes) closes the record:
// .16 to .20 (6748 bytes) at 6528, .11 to .15 (6500 bytes) at 6280.
constexpr std::array kDetails16Units{
    words(0, 257), bytes(1028, 78), words(1108, 497), bytes(3096, 6528 - 3096), bytes(6724, 6528, 220),
};
constexpr std::array kDetails11Units{
    words(0, 257), bytes(1028, 78), words(1108, 497), bytes(3096, 6280 - 3096), bytes(6724, 6280, 220),
};
static_assert(offsetof(TOLA_SHADE_MATCH_DETAILS, qf3D) == 6724);

constexpr std::array kDetailsRules{
    ConversionRule{{27, 32}, kDetailsUnits},
    ConversionRule{{26, 26}, kDetails26Units},
    ConversionRule{{25, 25}, kDetails25Units},
    ConversionRule{{24, 24}, kDetails24Units},
    ConversionRule{{22, 22}, kDetails22Units},
    ConversionRule{{16, 20}, kDetails16Units},
    ConversionRule{{11, 15}, kDetails11Units},
};

}  // namespace

constinit const StructureConverter kMeasConverter{
    StructureKind::Meas, 2280, ReleaseWord::Meas, 0, true, true, kMeasRules};
constinit const StructureConverter kResultsConverter{
    StructureKind::Results, 876, ReleaseWord::Results, 0, true, true, kResultsRules};
constinit const StructureConverter kMeasureDetailsConverter{
    StructureKind::MeasureDetails, 7316, ReleaseWord::MeasureDetails, 0, true, true, kDetailsRules};

}  // namespace tola::structures
