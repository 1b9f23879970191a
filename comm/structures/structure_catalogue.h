// The structures the library keeps host copies of: where each one lies in the
// instrument's table, its size word in the release table, its converter, and
// what a failed transfer does to its host copy.
#pragma once

#include "comm/structures/layout_release_table.h"
#include "comm/structures/structure_kind.h"

#include <cstdint>
#include <optional>
#include <span>

namespace tola::structures {

// The host copies, including the first-generation ones that no identifier reaches.
enum class Copy : std::uint8_t {
    Version,
    ShadeTables,
    HostBlock,
    Details,
    DisplayText,
    Data,
    Setup,
    Norm,
    Settings,
    Add2,
    Meas,
    Results,
    Add3,
    Add4,
    ShortResult,
    Word18Record,
    FirstGenSetup,
    FirstGenNorm,
    FirstGenData,
    FirstGenResults,
    Touchscreen,
    PsParameters,
};

enum class OnFailure : std::uint8_t { Keep, Clear };
enum class OnRefusal : std::uint8_t { Success, FailClear, FailKeep };
// How a download reaches the instrument.
enum class DownloadWrite : std::uint8_t {
    Plain,
    FlashWithLoaderOrStore,  // first generation: flash with loader; later: plain write, then the store sequence
    FlashWithoutLoader,      // first generation: flash without loader; later: plain write
    VersionBlock,            // first generation: flash with loader; otherwise plain
    None,                    // no download: a transfer uploads instead
};

struct CatalogueEntry {
    Copy copy;
    StructureKind kind;
    std::uint8_t table_word;  // address in the structure table
    ReleaseWord size_word;    // target size in the release table
    std::uint8_t count;       // records moved together (4 shade tables, 12 results entries)
    OnFailure upload_read_failure;
    OnRefusal upload_refusal;
    OnFailure download_write_failure;
    DownloadWrite write;
};

const CatalogueEntry& catalogue(Copy copy);

// The host copy's bytes.
std::span<std::uint8_t> host_bytes(Copy copy);

// The copy an identifier (without the local flag) names, if it names one.
std::optional<Copy> copy_of_identifier(int id);

// The copy whose storage begins at a host address (any of the four shade tables
// names the shade tables).
std::optional<Copy> copy_at_address(const void* address);

}  // namespace tola::structures
