#include "comm/structures/stream_structures.h"

#include "comm/api/bounded_string.h"
#include "comm/api/library_state.h"
#include "comm/commands/command_timing.h"
#include "comm/commands/host_exchange.h"
#include "comm/links/memory_access.h"
#include "comm/platform/clock.h"
#include "comm/structures/host_copies.h"
#include "comm/structures/layout_state.h"
#include "comm/structures/structure_converter.h"
#include "comm/structures/structure_transfer.h"
#include "comm/structures/target_sizes.h"
#include "comm/structures/transfer_support.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace tola::structures {
namespace {

constexpr std::uint32_t kTableAddress = 0x20000000;
constexpr std::uint32_t kRamEnd = 0x20010000;
constexpr std::size_t kTableSize = 96;

bool not_ready(bool bluetooth) {
    PXM_COMM* c = valid_record();
    if (c == nullptr) return false;
    if (c->hRS232 == -1)
        bStr_cpy(c->ssStatus, bluetooth ? "Bluetooth not connected or power off" : "RS232 / Bluetooth not connected or power off",
                 sizeof c->ssStatus);
    else if (!stream_load_flags().quiet)
        bStr_cpy(c->ssStatus, "Software not loaded", sizeof c->ssStatus);
    return false;
}

void zero_copy(Copy copy) {
    auto host = host_bytes(copy);
    std::fill(host.begin(), host.end(), std::uint8_t{0});
}

}  // namespace

StreamLoadFlags& stream_load_flags() {
    static StreamLoadFlags flags;
    return flags;
}

void clear_stream_load_flags() { stream_load_flags() = StreamLoadFlags{}; }

bool stream_serves(Copy copy, bool bluetooth, int direction) {
    switch (copy) {
        case Copy::Version: case Copy::HostBlock: case Copy::Norm: case Copy::Details: case Copy::DisplayText:
        case Copy::Meas: case Copy::Results: case Copy::Data: case Copy::Add2: case Copy::Settings:
            return direction == 1 || direction == 2;
        case Copy::Setup: case Copy::ShadeTables:
            return direction == 2;
        case Copy::Add3: case Copy::Add4: case Copy::Word18Record:
            return bluetooth && (direction == 1 || direction == 2);
        case Copy::ShortResult:
            return bluetooth && direction == 2;
        default:
            return false;
    }
}

bool load_over_stream(bool bluetooth) {
    HostCopies& h = host_copies();
    std::memset(&h.table, 0, sizeof h.table);
    std::memset(&h.version, 0, sizeof h.version);
    std::memset(&h.setup, 0, sizeof h.setup);
    std::memset(&h.settings, 0, sizeof h.settings);
    h.add2.fill(0);
    std::memset(&h.sizes, 0, sizeof h.sizes);

    // The memory-mapped generation keeps its data little-endian.
    set_byte_order(ByteOrder::LittleEndian);
    auto& buffer = staging();
    if (!links::memory_read(kTableAddress, buffer.data(), kTableSize)) return not_ready(bluetooth);
    if (!convert(StructureKind::StructureTable, Direction::Upload, current_release(), current_byte_order(),
                 {reinterpret_cast<std::uint8_t*>(&h.table), kTableSize}, {buffer.data(), kTableSize}))
        return false;

    const std::uint32_t version = h.table.dCOMM_VERSION;
    if (version < kTableAddress || version >= kRamEnd) return false;
    if (!links::memory_read(version, buffer.data(), sizeof(COMM_VERSION))) return false;
    std::memcpy(&h.version, buffer.data(), sizeof(COMM_VERSION));
    const auto row = find_release_row(current_release());
    if (!row) return false;
    SizeRow sizes{};
    std::copy(LAYOUT_RELEASE_TABLE[*row].sizes.begin(), LAYOUT_RELEASE_TABLE[*row].sizes.end(), sizes.begin());
    adopt_target_sizes(sizes);
    StreamLoadFlags& flags = stream_load_flags();
    flags.quiet = true;
    flags.table_loaded = true;

    if (h.table.dCOMM_STRUCTURE_TABLE_SIZES == 0 ||
        !links::memory_read(h.table.dCOMM_STRUCTURE_TABLE_SIZES, buffer.data(), kTableSize)) {
        std::memset(&h.sizes, 0, sizeof h.sizes);
        return not_ready(bluetooth);
    }
    convert(StructureKind::StructureSizes, Direction::Upload, current_release(), current_byte_order(),
            {reinterpret_cast<std::uint8_t*>(&h.sizes), kTableSize}, {buffer.data(), kTableSize});

    if (!stream_upload(Copy::Setup)) return not_ready(bluetooth);
    flags.setup_loaded = true;
    if (!stream_upload(Copy::Settings)) return not_ready(bluetooth);
    return true;
}

void finish_bluetooth_load() {
    if (host_copies().version.snRelease[0] > '4')
        commands::host_command(0x80000000, 300, {{1, 40}, {3, 4}, {14, 300}});
}

bool stream_read_table() {
    auto& buffer = staging();
    if (!links::memory_read(kTableAddress, buffer.data(), kTableSize)) return false;
    return convert(StructureKind::StructureTable, Direction::Upload, current_release(), current_byte_order(),
                   {reinterpret_cast<std::uint8_t*>(&host_copies().table), kTableSize}, {buffer.data(), kTableSize});
}

bool stream_upload(Copy copy) {
    const CatalogueEntry& e = catalogue(copy);
    const std::uint32_t address = table_address_word(e.table_word);
    const std::size_t size = copy == Copy::Version ? sizeof(COMM_VERSION) : target_bytes(e);
    if (address == 0 || size == 0 || size > kStagingSize) return false;
    auto& buffer = staging();
    if (!links::memory_read(address, buffer.data(), static_cast<std::int32_t>(size))) {
        // A failed host block transfer leaves the library's copy as it was.
        if (copy != Copy::HostBlock) zero_copy(copy);
        return false;
    }
    if (copy == Copy::Version) {
        std::memcpy(&host_copies().version, buffer.data(), sizeof(COMM_VERSION));
        return true;
    }
    if (!convert_copy(e, Direction::Upload, {buffer.data(), kStagingSize})) {
        if (copy != Copy::HostBlock) zero_copy(copy);
        return false;
    }
    return true;
}

bool stream_download(Copy copy) {
    const CatalogueEntry& e = catalogue(copy);
    const std::uint32_t address = table_address_word(e.table_word);
    const std::size_t size = copy == Copy::Version ? sizeof(COMM_VERSION) : target_bytes(e);
    if (address == 0 || size == 0 || size > kStagingSize) return false;
    auto& buffer = staging();
    const std::uint8_t* data = buffer.data();
    if (copy == Copy::Version)
        data = reinterpret_cast<const std::uint8_t*>(&host_copies().version);
    else if (!convert_copy(e, Direction::Download, {buffer.data(), kStagingSize}))
        return false;
    if (!links::memory_write(address, data, static_cast<std::int32_t>(size))) {
        if (copy != Copy::HostBlock) zero_copy(copy);
        return false;
    }
    if (copy == Copy::Settings || copy == Copy::Add2) return store_sequence();  // the instrument takes the new values over and keeps them
    return true;
}

}  // namespace tola::structures
