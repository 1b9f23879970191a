// The converter of every structure, as data.  Each is defined next to the
// structures it is related to (converter_maps_*.cpp).
#pragma once

#include "comm/structures/conversion_unit.h"

namespace tola::structures {

extern const StructureConverter kStructureTableConverter;
extern const StructureConverter kStructureSizesConverter;
extern const StructureConverter kAdd2Converter;
extern const StructureConverter kAdd3Converter;
extern const StructureConverter kAdd4Converter;
extern const StructureConverter kShortResultConverter;
extern const StructureConverter kTableWord18Converter;

extern const StructureConverter kSetupConverter;
extern const StructureConverter kSettingsConverter;

extern const StructureConverter kUsbHostConverter;
extern const StructureConverter kNormConverter;
extern const StructureConverter kDataConverter;
extern const StructureConverter kDisplayTextConverter;

extern const StructureConverter kMeasConverter;
extern const StructureConverter kResultsConverter;
extern const StructureConverter kMeasureDetailsConverter;

extern const StructureConverter kShadeTableConverter;

extern const StructureConverter kFirstGenSetupConverter;
extern const StructureConverter kFirstGenNormConverter;
extern const StructureConverter kFirstGenDataConverter;
extern const StructureConverter kFirstGenResultsEntryConverter;
extern const StructureConverter kTouchscreenConverter;
extern const StructureConverter kPsParametersConverter;

}  // namespace tola::structures
