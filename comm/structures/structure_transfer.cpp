#include "comm/structures/structure_transfer.h"

#include "comm/api/library_state.h"
#include "comm/commands/command_timing.h"
#include "comm/commands/host_exchange.h"
#include "comm/links/memory_access.h"
#include "comm/links/usb/first_generation.h"
#include "comm/links/usb/usb_device.h"
#include "comm/links/usb/usb_report.h"
#include "comm/links/usb/usb_state.h"
#include "comm/platform/clock.h"
#include "comm/structures/host_copies.h"
#include "comm/structures/layout_state.h"
#include "comm/structures/structure_converter.h"
#include "comm/structures/target_sizes.h"
#include "comm/structures/transfer_support.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace tola::structures {
namespace {

constexpr std::size_t kTableSize = 96;
constexpr std::size_t kVersionSize = sizeof(COMM_VERSION);

bool& loaded_flag() {
    static bool loaded = false;
    return loaded;
}

// A failed transfer that clears the host copy zeroes it over the current
// target size, never past the host copy.
void clear_after_failure(const CatalogueEntry& e) {
    std::span<std::uint8_t> host = host_bytes(e.copy);
    std::size_t size = target_bytes(e);
    // The first-generation results table is cleared over one entry's target size.
    if (e.copy == Copy::FirstGenResults) size = current_target_sizes()[static_cast<std::size_t>(e.size_word)];
    std::fill_n(host.begin(), std::min(size, host.size()), std::uint8_t{0});
}

bool first_generation() {
    const PXM_COMM* c = valid_record();
    return c != nullptr && c->iDevice == TOLA_DEVICE_USB_CHROMATIK;
}

bool write_target(const CatalogueEntry& e, const std::uint8_t* data, std::size_t size) {
    const std::uint32_t address = table_address_word(e.table_word);
    const auto length = static_cast<std::int32_t>(size);
    const bool classic = first_generation();
    switch (e.write) {
        case DownloadWrite::VersionBlock:
            return classic ? usb::first_generation::write_flash(true, data, address, length)
                           : links::memory_write(address, data, length);
        case DownloadWrite::FlashWithLoaderOrStore:
            if (classic) return usb::first_generation::write_flash(true, data, address, length);
            return links::memory_write(address, data, length) && store_sequence();
        case DownloadWrite::FlashWithoutLoader:
            return classic ? usb::first_generation::write_flash(false, data, address, length)
                           : links::memory_write(address, data, length);
        case DownloadWrite::Plain:
        case DownloadWrite::None:
            return links::memory_write(address, data, length);
    }
    return false;
}

}  // namespace

bool table_loaded() { return loaded_flag(); }

bool upload(Copy copy) {
    const CatalogueEntry& e = catalogue(copy);
    const std::uint32_t address = table_address_word(e.table_word);
    const std::size_t size = copy == Copy::Version ? kVersionSize : target_bytes(e);
    // A structure the release does not have, or one the staging buffer cannot
    // hold, transfers nothing.
    if (address == 0 || size == 0 || size > kStagingSize) return false;
    auto& buffer = staging();
    if (!links::memory_read(address, buffer.data(), static_cast<std::int32_t>(size))) {
        if (e.upload_read_failure == OnFailure::Clear) clear_after_failure(e);
        return false;
    }
    if (copy == Copy::Version) {
        // The version block is text only: taken as it is.
        std::memcpy(&host_copies().version, buffer.data(), kVersionSize);
        return true;
    }
    if (convert_copy(e, Direction::Upload, {buffer.data(), kStagingSize})) return true;
    switch (e.upload_refusal) {
        case OnRefusal::Success: return true;
        case OnRefusal::FailClear: clear_after_failure(e); return false;
        case OnRefusal::FailKeep: return false;
    }
    return false;
}

bool download(Copy copy) {
    const CatalogueEntry& e = catalogue(copy);
    if (e.write == DownloadWrite::None) return upload(copy);
    const std::uint32_t address = table_address_word(e.table_word);
    const std::size_t size = copy == Copy::Version ? kVersionSize : target_bytes(e);
    if (address == 0 || size == 0 || size > kStagingSize) return false;
    auto& buffer = staging();
    const std::uint8_t* data = buffer.data();
    if (copy == Copy::Version) {
        data = reinterpret_cast<const std::uint8_t*>(&host_copies().version);
    } else if (!convert_copy(e, Direction::Download, {buffer.data(), kStagingSize})) {
        return false;  // refused: the host copy stays as it was
    }
    if (write_target(e, data, size)) return true;
    if (e.download_write_failure == OnFailure::Clear) clear_after_failure(e);
    return false;
}

bool host_block_transfer(int direction) {
    if (direction == 2) return upload(Copy::HostBlock);
    if (direction == 1) return download(Copy::HostBlock);
    return false;
}

bool read_structure_table_usb() {
    loaded_flag() = false;
    PXM_COMM* c = valid_record();
    if (c == nullptr) return false;
    std::uint32_t table_address = 0;
    if (c->iDevice == TOLA_DEVICE_USB_CHROMATIK)
        table_address = 0x80800000;
    else if (c->iDevice == TOLA_DEVICE_USB_PORTIVO)
        table_address = usb::cpu_type() == 2 ? 0x20000000 : 0xFF2400;
    else
        return usb::not_ready_report() != 0;

    auto& buffer = staging();
    if (!links::memory_read(table_address, buffer.data(), kTableSize)) return usb::not_ready_report() != 0;
    set_byte_order(usb::little_endian_target() ? ByteOrder::LittleEndian : ByteOrder::BigEndian);
    convert(StructureKind::StructureTable, Direction::Upload, current_release(), current_byte_order(),
            {reinterpret_cast<std::uint8_t*>(&host_copies().table), kTableSize}, {buffer.data(), kTableSize});

    const std::uint32_t version = host_copies().table.dCOMM_VERSION;
    bool plausible = false;
    if (c->iDevice == TOLA_DEVICE_USB_CHROMATIK)
        plausible = (version >> 24) == 0x80;
    else if (usb::cpu_type() == 2)
        plausible = version >= 0x20000000 && version < 0x20010000;
    else
        plausible = version >= 0xFF2000 && version < 0xFFC000;
    if (!plausible) return usb::not_ready_report() != 0;

    if (!upload(Copy::Version)) return usb::not_ready_report() != 0;
    const auto row = find_release_row(current_release());
    if (!row) return usb::not_ready_report() != 0;
    SizeRow sizes{};
    std::copy(LAYOUT_RELEASE_TABLE[*row].sizes.begin(), LAYOUT_RELEASE_TABLE[*row].sizes.end(), sizes.begin());
    adopt_target_sizes(sizes);
    loaded_flag() = true;
    return true;
}

bool load_at_usb_open() {
    PXM_COMM* c = valid_record();
    if (c == nullptr) return false;
    if (!usb::open_and_test()) return usb::not_ready_report() != 0;
    HostCopies& h = host_copies();
    std::memset(&h.table, 0, sizeof h.table);
    std::memset(&h.version, 0, sizeof h.version);
    h.first_gen_setup.fill(0);
    std::memset(&h.setup, 0, sizeof h.setup);
    std::memset(&h.settings, 0, sizeof h.settings);
    h.add2.fill(0);
    ps_parameters_current() = false;
    if (!read_structure_table_usb()) return false;
    usb::usb_state().structures_loaded = true;

    if (c->iDevice == TOLA_DEVICE_USB_CHROMATIK) {
        if (upload(Copy::FirstGenSetup)) return true;
        h.first_gen_setup.fill(0);
        return usb::not_ready_report() != 0;
    }
    if (c->iDevice == TOLA_DEVICE_USB_PORTIVO) {
        std::memset(&h.sizes, 0, sizeof h.sizes);
        if (h.table.dCOMM_STRUCTURE_TABLE_SIZES != 0) {
            auto& buffer = staging();
            if (links::memory_read(h.table.dCOMM_STRUCTURE_TABLE_SIZES, buffer.data(), kTableSize))
                convert(StructureKind::StructureSizes, Direction::Upload, current_release(), current_byte_order(),
                        {reinterpret_cast<std::uint8_t*>(&h.sizes), kTableSize}, {buffer.data(), kTableSize});
        }
        if (!upload(Copy::Setup)) {
            std::memset(&h.setup, 0, sizeof h.setup);
            return usb::not_ready_report() != 0;
        }
        if (!upload(Copy::Settings)) {
            std::memset(&h.settings, 0, sizeof h.settings);
            return usb::not_ready_report() != 0;
        }
    }
    return true;
}

}  // namespace tola::structures
