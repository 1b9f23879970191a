#include "comm/structures/structure_catalogue.h"

#include "comm/structures/host_copies.h"

#include <array>

namespace tola::structures {
namespace {

using K = StructureKind;
using W = ReleaseWord;
using F = OnFailure;
using R = OnRefusal;
using D = DownloadWrite;

// Table words of the structure table.
enum TableWord : std::uint8_t {
    kVersionWord = 0,
    kSetupWord = 1,
    kShadeWord = 2,
    kNormWord = 3,
    kDetailsWord = 4,
    kResultsWord = 5,
    kDataWord = 6,
    kHostWord = 7,
    kAdd2Word = 9,
    kAdd3Word = 10,
    kAdd4Word = 11,
    kDisplayWord = 12,
    kAdd5Word = 13,
    kMeasWord = 14,
    kSettingsWord = 15,
    kWord18 = 18,
};

// Columns: copy, converter, table word, size word, records,
//          upload read fails, upload refused, download write fails, download write.
constexpr std::array<CatalogueEntry, 22> kCatalogue = {{
    {Copy::Version, K::StructureTable, kVersionWord, W::Version, 1, F::Keep, R::Success, F::Keep, D::VersionBlock},
    {Copy::ShadeTables, K::ShadeTable, kShadeWord, W::ShadeTable, 4, F::Keep, R::Success, F::Keep,
     D::FlashWithLoaderOrStore},
    {Copy::HostBlock, K::UsbHost, kHostWord, W::UsbHost, 1, F::Keep, R::Success, F::Keep, D::Plain},
    {Copy::Details, K::MeasureDetails, kDetailsWord, W::MeasureDetails, 1, F::Clear, R::Success, F::Clear, D::Plain},
    {Copy::DisplayText, K::DisplayText, kDisplayWord, W::DisplayText, 1, F::Clear, R::Success, F::Clear, D::Plain},
    {Copy::Data, K::Data, kDataWord, W::Data, 1, F::Keep, R::Success, F::Clear, D::Plain},
    {Copy::Setup, K::Setup, kSetupWord, W::Setup, 1, F::Clear, R::Success, F::Clear, D::None},
    {Copy::Norm, K::Norm, kNormWord, W::Norm, 1, F::Clear, R::Success, F::Clear, D::Plain},
    {Copy::Settings, K::Settings, kSettingsWord, W::Settings, 1, F::Keep, R::FailClear, F::Clear,
     D::FlashWithoutLoader},
    {Copy::Add2, K::Add2, kAdd2Word, W::Add2, 1, F::Keep, R::FailClear, F::Clear, D::FlashWithoutLoader},
    {Copy::Meas, K::Meas, kMeasWord, W::Meas, 1, F::Keep, R::Success, F::Clear, D::Plain},
    {Copy::Results, K::Results, kResultsWord, W::Results, 1, F::Clear, R::FailKeep, F::Clear, D::Plain},
    {Copy::Add3, K::Add3, kAdd3Word, W::Add3, 1, F::Clear, R::FailKeep, F::Clear, D::Plain},
    {Copy::Add4, K::Add4, kAdd4Word, W::Add4, 1, F::Clear, R::FailKeep, F::Clear, D::Plain},
    {Copy::ShortResult, K::ShortResult, kAdd5Word, W::Add5, 1, F::Clear, R::FailKeep, F::Clear, D::None},
    {Copy::Word18Record, K::TableWord18, kWord18, W::TableWord18, 1, F::Clear, R::FailKeep, F::Clear, D::Plain},
    {Copy::FirstGenSetup, K::FirstGenSetup, kSetupWord, W::Setup, 1, F::Clear, R::Success, F::Clear,
     D::FlashWithLoaderOrStore},
    {Copy::FirstGenNorm, K::FirstGenNorm, kNormWord, W::Norm, 1, F::Clear, R::Success, F::Clear, D::Plain},
    {Copy::FirstGenData, K::FirstGenData, kDataWord, W::Data, 1, F::Keep, R::Success, F::Clear, D::Plain},
    {Copy::FirstGenResults, K::FirstGenResultsEntry, kResultsWord, W::Results, 12, F::Clear, R::Success, F::Clear,
     D::Plain},
    {Copy::Touchscreen, K::Touchscreen, kAdd4Word, W::Add4, 1, F::Clear, R::Success, F::Clear, D::Plain},
    {Copy::PsParameters, K::PsParameters, kAdd3Word, W::Add3, 1, F::Clear, R::Success, F::Clear, D::Plain},
}};

template <class T>
std::span<std::uint8_t> bytes_of(T& record) {
    return {reinterpret_cast<std::uint8_t*>(&record), sizeof record};
}

}  // namespace

const CatalogueEntry& catalogue(Copy copy) { return kCatalogue[static_cast<std::size_t>(copy)]; }

std::span<std::uint8_t> host_bytes(Copy copy) {
    HostCopies& h = host_copies();
    switch (copy) {
        case Copy::Version: return bytes_of(h.version);
        case Copy::ShadeTables: return h.shade_tables;
        case Copy::HostBlock: return bytes_of(h.host_block);
        case Copy::Details: return bytes_of(h.details);
        case Copy::DisplayText: return h.display_text;
        case Copy::Data: return h.data;
        case Copy::Setup: return bytes_of(h.setup);
        case Copy::Norm: return bytes_of(h.norm);
        case Copy::Settings: return bytes_of(h.settings);
        case Copy::Add2: return h.add2;
        case Copy::Meas: return h.meas;
        case Copy::Results: return bytes_of(h.results);
        case Copy::Add3: return h.add3;
        case Copy::Add4: return h.add4;
        case Copy::ShortResult: return h.short_result;
        case Copy::Word18Record: return h.word18_record;
        case Copy::FirstGenSetup: return h.first_gen_setup;
        case Copy::FirstGenNorm: return h.first_gen_norm;
        case Copy::FirstGenData: return h.first_gen_data;
        case Copy::FirstGenResults: return h.first_gen_results;
        case Copy::Touchscreen: return h.touchscreen;
        case Copy::PsParameters: return h.ps_parameters;
    }
    return {};
}

std::optional<Copy> copy_of_identifier(int id) {
    switch (id) {
        case 3: return Copy::Version;
        case 4: case 5: case 6: case 7: return Copy::ShadeTables;
        case 8: return Copy::HostBlock;
        case 9: return Copy::Details;
        case 10: return Copy::DisplayText;
        case 17: return Copy::Data;
        case 19: return Copy::Setup;
        case 20: return Copy::Norm;
        case 21: return Copy::Settings;
        case 22: return Copy::Add2;
        case 23: return Copy::Meas;
        case 24: return Copy::Results;
        case 26: return Copy::Add3;
        case 27: return Copy::Add4;
        case 28: return Copy::ShortResult;
        case 30: return Copy::Word18Record;
        default: return std::nullopt;
    }
}

std::optional<Copy> copy_at_address(const void* address) {
    if (address == nullptr) return std::nullopt;
    const auto* p = static_cast<const std::uint8_t*>(address);
    const std::uint8_t* shades = host_copies().shade_tables.data();
    for (std::size_t i = 0; i < kShadeTableCount; ++i)
        if (p == shades + i * kShadeTableSize) return Copy::ShadeTables;
    for (const CatalogueEntry& e : kCatalogue)
        if (p == host_bytes(e.copy).data()) return e.copy;
    return std::nullopt;
}

}  // namespace tola::structures
