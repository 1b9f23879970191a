// Host command block, norm data, data block and display text.
#include "comm/structures/converter_maps.h"

namespace tola::structures {
namespace {

// COMM_USB_HOST: host words w0..w15; the comments name target words t0...
constexpr std::array kUsbHostUnits{words(0, 16)};

// .22, .23: 19 target words.  The command arguments are split over t2 and t3
// (the host sees their OR and sends w2 into both); t9, t10 and t13 are written
// as 0 although the instrument reports its event flags in t10.
constexpr std::array kUsbHost22Units{
    words(0, 0, 3),                               // w0..w2 <-> t0..t2
    or_word(8, 12),                               // w2 |= t3
    words(8, 12, 1, Flow::DownloadOnly),          // t3 <- w2
    words(12, 16, 5),                             // w3..w7 <-> t4..t8
    words(32, 44, 2),                             // w8, w9 <-> t11, t12
    words(40, 56, 5),                             // w10..w14 <-> t14..t18
    words(60, 40, 1, Flow::UploadOnly),           // w15 <- t10
    target_constant(36, 0), target_constant(40, 0), target_constant(52, 0),
};

// .20: 11 target words; t5 is always sent as 1, t6 (event flags) as 0.
constexpr std::array kUsbHost20Units{
    words(0, 0, 4),                               // w0..w3 <-> t0..t3
    words(20, 16, 1),                             // w5 <-> t4
    target_constant(20, 1),                       // t5 = 1
    words(60, 24, 1, Flow::UploadOnly),           // w15 <- t6
    target_constant(24, 0),                       // t6 = 0
    words(32, 28, 3),                             // w8..w10 <-> t7..t9
    words(48, 40, 1),                             // w12 <-> t10
};

// .14 to .19: 9 target words; t4 is always sent as 1, t5 (event flags) as 0.
constexpr std::array kUsbHost14Units{
    words(0, 0, 4),                               // w0..w3 <-> t0..t3
    target_constant(16, 1),                       // t4 = 1
    words(60, 20, 1, Flow::UploadOnly),           // w15 <- t5
    target_constant(20, 0),                       // t5 = 0
    words(32, 24, 3),                             // w8..w10 <-> t6..t8
};

constexpr std::array kUsbHostRules{
    ConversionRule{{24, 32}, kUsbHostUnits},
    ConversionRule{{22, 23}, kUsbHost22Units},
    ConversionRule{{20, 20}, kUsbHost20Units},
    ConversionRule{{14, 19}, kUsbHost14Units},
};

// CKII_NORM: 64 words from .29 on; .24 to .28 keep the two gain rows only.
constexpr std::array kNormUnits{words(0, 64)};
constexpr std::array kNormShortUnits{words(0, 32)};
constexpr std::array kNormRules{
    ConversionRule{{29, 32}, kNormUnits},
    ConversionRule{{24, 28}, kNormShortUnits},
};

// Data block: 32 half-words, then 26 words.  .23 lays it out differently and
// is refused.
constexpr std::array kDataUnits{halves(0, 32), words(64, 26)};
constexpr std::array kDataRules{
    ConversionRule{{24, 32}, kDataUnits},
    ConversionRule{{22, 22}, kDataUnits},
};

// Display text: 3 words, then a 200-byte text block; the last 4 bytes are not moved.
constexpr std::array kDisplayTextUnits{words(0, 3), bytes(12, 200)};
constexpr std::array kDisplayTextRules{
    ConversionRule{{22, 32}, kDisplayTextUnits},
    ConversionRule{{14, 20}, kDisplayTextUnits},
};

}  // namespace

constinit const StructureConverter kUsbHostConverter{
    StructureKind::UsbHost, 64, ReleaseWord::UsbHost, 0, true, true, kUsbHostRules};
constinit const StructureConverter kNormConverter{
    StructureKind::Norm, 256, ReleaseWord::Norm, 0, true, true, kNormRules};
constinit const StructureConverter kDataConverter{
    StructureKind::Data, 168, ReleaseWord::Data, 0, true, true, kDataRules};
constinit const StructureConverter kDisplayTextConverter{
    StructureKind::DisplayText, 216, ReleaseWord::DisplayText, 0, false, false, kDisplayTextRules};

}  // namespace tola::structures
