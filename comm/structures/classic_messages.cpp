#include "comm/structures/classic_messages.h"

#include "comm/links/serial/packet_link.h"
#include "comm/links/serial/serial_link.h"
#include "comm/structures/host_copies.h"
#include "comm/structures/layout_state.h"
#include "comm/structures/structure_converter.h"
#include "comm/structures/target_sizes.h"
#include "comm/structures/transfer_support.h"

#include <cstring>

namespace tola::structures {
namespace {

std::size_t size_word(std::size_t word) { return current_target_sizes()[word]; }

bool receive_into_staging(serial::PacketLink& link, std::uint8_t code, std::size_t size) {
    if (size == 0 || size > kStagingSize) return false;
    return link.receive_block(code, staging().data(), size, true);
}

bool upload_kind(StructureKind kind, std::span<std::uint8_t> host, std::size_t count = 1) {
    std::span<std::uint8_t> target{staging().data(), kStagingSize};
    if (count > 1) return convert_each(kind, count, Direction::Upload, current_release(), current_byte_order(), host, target);
    return convert(kind, Direction::Upload, current_release(), current_byte_order(), host, target);
}

bool receive_structure(serial::PacketLink& link, std::uint8_t code) {
    HostCopies& h = host_copies();
    switch (code) {
        case 151:
            return receive_into_staging(link, code, size_word(word::kSetup)) &&
                   (upload_kind(StructureKind::FirstGenSetup, h.first_gen_setup), true);
        case 152:
            if (!receive_into_staging(link, code, sizeof(COMM_VERSION))) return false;
            std::memcpy(&h.version, staging().data(), sizeof(COMM_VERSION));
            return true;
        case 153:
            ps_parameters_current() = receive_into_staging(link, code, size_word(word::kAdd3)) &&
                                      (upload_kind(StructureKind::PsParameters, h.ps_parameters), true);
            return ps_parameters_current();
        case 154:
            return receive_into_staging(link, code, size_word(word::kNorm)) &&
                   (upload_kind(StructureKind::FirstGenNorm, h.first_gen_norm), true);
        case 155:
            return receive_into_staging(link, code, size_word(word::kDetails)) &&
                   (upload_kind(StructureKind::MeasureDetails,
                                {reinterpret_cast<std::uint8_t*>(&h.details), sizeof h.details}),
                    true);
        case 156:
            return receive_into_staging(link, code, size_word(word::kData)) &&
                   (upload_kind(StructureKind::FirstGenData, h.first_gen_data), true);
        case 157:
        case 158:
        case 159:
        case 160: {
            const std::size_t table = code - 157u;
            return receive_into_staging(link, code, size_word(word::kShadeTable)) &&
                   (upload_kind(StructureKind::ShadeTable,
                                {h.shade_tables.data() + table * kShadeTableSize, kShadeTableSize}),
                    true);
        }
        case 161:
            return receive_into_staging(link, code, sizeof(COMM_STRUCTURE_TABLE)) &&
                   upload_kind(StructureKind::StructureTable,
                               {reinterpret_cast<std::uint8_t*>(&h.table), sizeof h.table});
        case 162:
            return receive_into_staging(link, code, 3 * size_word(word::kResults)) &&
                   (upload_kind(StructureKind::FirstGenResultsEntry,
                                {h.first_gen_results.data(), 3 * kFirstGenResultsEntrySize}, 3),
                    true);
        default:
            return false;
    }
}

}  // namespace

std::uint32_t classic_receive(std::uint8_t* caller, std::size_t caller_size) {
    return classic_receive(serial::link(), caller, caller_size);
}

std::uint32_t classic_receive(serial::PacketLink& link, std::uint8_t* caller, std::size_t caller_size) {
    std::uint8_t code = 0;
    if (link.read(&code, 1, 0) != 1) return 0;
    bool ok = false;
    bool quiet_line = false;  // live data and switch messages keep the line as it is
    switch (code) {
        case 172:
        case 173:
            if (caller != nullptr && caller_size > 3) {
                serial::Header header{};
                std::size_t length = 0;
                ok = link.receive_packet(0, header, caller, 4, length);
                quiet_line = ok;
            }
            break;
        case 174:
        case 175:
            ok = true;
            break;
        case 176: {
            // Exactly one data block: a shorter packet would leave the rest of
            // the block from an earlier transfer in the staging buffer.
            serial::Header header{};
            std::size_t length = 0;
            const std::size_t size = size_word(word::kData);
            ok = size > 0 && size <= kStagingSize && link.receive_packet(0, header, staging().data(), size, length) &&
                 length == size && upload_kind(StructureKind::FirstGenData, host_copies().first_gen_data);
            quiet_line = ok;
            break;
        }
        default:
            ok = receive_structure(link, code);
            break;
    }
    if (!quiet_line) link.drain(serial::kDrainWindowMs);
    return ok ? code : 0;
}

}  // namespace tola::structures
