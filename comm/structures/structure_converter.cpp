#include "comm/structures/structure_converter.h"

#include <algorithm>

#include "comm/structures/conversion_engine.h"
#include "comm/structures/converter_maps.h"

namespace tola::structures {
namespace {

const StructureConverter& converter_for(StructureKind kind) {
    switch (kind) {
        case StructureKind::StructureTable: return kStructureTableConverter;
        case StructureKind::StructureSizes: return kStructureSizesConverter;
        case StructureKind::Setup: return kSetupConverter;
        case StructureKind::Settings: return kSettingsConverter;
        case StructureKind::Add2: return kAdd2Converter;
        case StructureKind::Add3: return kAdd3Converter;
        case StructureKind::Add4: return kAdd4Converter;
        case StructureKind::ShortResult: return kShortResultConverter;
        case StructureKind::TableWord18: return kTableWord18Converter;
        case StructureKind::UsbHost: return kUsbHostConverter;
        case StructureKind::Norm: return kNormConverter;
        case StructureKind::Data: return kDataConverter;
        case StructureKind::DisplayText: return kDisplayTextConverter;
        case StructureKind::Meas: return kMeasConverter;
        case StructureKind::Results: return kResultsConverter;
        case StructureKind::MeasureDetails: return kMeasureDetailsConverter;
        case StructureKind::ShadeTable: return kShadeTableConverter;
        case StructureKind::FirstGenSetup: return kFirstGenSetupConverter;
        case StructureKind::FirstGenNorm: return kFirstGenNormConverter;
        case StructureKind::FirstGenData: return kFirstGenDataConverter;
        case StructureKind::FirstGenResultsEntry: return kFirstGenResultsEntryConverter;
        case StructureKind::Touchscreen: return kTouchscreenConverter;
        case StructureKind::PsParameters: return kPsParametersConverter;
    }
    return kStructureTableConverter;
}

// The map serving `release` in `direction`, or none.
const ConversionRule* select_rule(const StructureConverter& converter, Direction direction,
                                  std::string_view release) {
    const bool fixed = !converter.target_word.has_value();
    unsigned number = 0;
    if (!fixed) {
        const auto row = find_release_row(release);
        if (!row) return nullptr;
        number = layout_number(*row);
    }
    for (const ConversionRule& rule : converter.rules) {
        const bool in_range = fixed || (number >= rule.releases.first && number <= rule.releases.last);
        const bool allowed = direction == Direction::Upload ? rule.upload : rule.download;
        if (in_range && allowed) return &rule;
    }
    return nullptr;
}

std::uint32_t target_size_of(const StructureConverter& converter, std::string_view release) {
    if (!converter.target_word) return converter.fixed_target_size;
    return release_target_size(release, *converter.target_word);
}

void run(const StructureConverter& converter, const ConversionRule& rule, Direction direction,
         std::uint32_t release_size, ByteOrder order, std::span<std::uint8_t> host, std::span<std::uint8_t> target) {
    if (direction == Direction::Upload && converter.clears_host_on_upload) clear_prefix(host, converter.host_size);
    if (direction == Direction::Download && converter.clears_target_on_download) {
        clear_prefix(target, rule.download_clear_size != 0 ? rule.download_clear_size : release_size);
    }
    apply_units(rule.units, direction, order, host, target);
}

// Slot `index` of `stride` bytes, cut to what the span holds.
std::span<std::uint8_t> slot(std::span<std::uint8_t> buffer, std::size_t index, std::size_t stride) {
    const std::size_t begin = std::min(buffer.size(), index * stride);
    return buffer.subspan(begin, std::min(stride, buffer.size() - begin));
}

}  // namespace

bool convert(StructureKind kind, Direction direction, std::string_view release, ByteOrder order,
             std::span<std::uint8_t> host, std::span<std::uint8_t> target) {
    const StructureConverter& converter = converter_for(kind);
    const ConversionRule* rule = select_rule(converter, direction, release);
    if (rule == nullptr) return false;
    run(converter, *rule, direction, target_size_of(converter, release), order, host, target);
    return true;
}

bool convert_each(StructureKind kind, std::size_t count, Direction direction, std::string_view release,
                  ByteOrder order, std::span<std::uint8_t> host, std::span<std::uint8_t> target) {
    const StructureConverter& converter = converter_for(kind);
    const ConversionRule* rule = select_rule(converter, direction, release);
    if (rule == nullptr) return false;
    const std::uint32_t release_size = target_size_of(converter, release);
    for (std::size_t i = 0; i < count; ++i) {
        run(converter, *rule, direction, release_size, order, slot(host, i, converter.host_size),
            slot(target, i, release_size));
    }
    return true;
}

bool serves(StructureKind kind, Direction direction, std::string_view release) {
    return select_rule(converter_for(kind), direction, release) != nullptr;
}

std::size_t host_size(StructureKind kind) { return converter_for(kind).host_size; }

std::uint32_t target_size(StructureKind kind, std::string_view release) {
    return target_size_of(converter_for(kind), release);
}

}  // namespace tola::structures
