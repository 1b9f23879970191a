#include "comm/structures/transfer_functions.h"

#include "comm/api/bounded_string.h"
#include "comm/api/library_state.h"
#include "comm/commands/classic_exchange.h"
#include "comm/measurements/compose.h"
#include "comm/structures/host_copies.h"
#include "comm/structures/layout_state.h"
#include "comm/structures/structure_catalogue.h"
#include "comm/structures/stream_structures.h"
#include "comm/structures/structure_transfer.h"

#include <algorithm>
#include <cstring>

namespace tola::structures {
namespace {

constexpr std::size_t kMessageSize = sizeof(TSTRING);

enum class Link { None, Usb, Serial, Bluetooth };

bool record_valid(const PXM_COMM* comm) { return comm != nullptr && comm->dSize == sizeof(PXM_COMM); }

void set_message(char* message, const char* text) {
    if (message != nullptr) bStr_cpy(message, text, kMessageSize);
}

const char* failure_text(std::int32_t direction) {
    if (direction == 1) return "Download FAILED";
    if (direction == 2) return "Upload FAILED";
    return "Halted FAILED";
}

Link link_of(const PXM_COMM& c) {
    if (c.hUSB != -1) return Link::Usb;
    if (c.hRS232 == -1) return Link::None;
    if (c.iDevice == TOLA_DEVICE_SERIAL_MAPPED_A || c.iDevice == TOLA_DEVICE_SERIAL_MAPPED_B) return Link::Serial;
    if (c.iDevice == TOLA_DEVICE_BT_MAPPED_A || c.iDevice == TOLA_DEVICE_BT_MAPPED_B) return Link::Bluetooth;
    return Link::None;
}

bool defined_on(Link link, std::int32_t id) {
    switch (link) {
        case Link::Usb: return id >= 1 && id <= 27;
        case Link::Serial: return id >= 1 && id <= 25;
        case Link::Bluetooth: return (id >= 1 && id <= 28) || id == 30;
        case Link::None: return false;
    }
    return false;
}

// The reserved identifiers answer with what is not built into this library.
bool under_construction(std::int32_t id, std::int32_t direction, char* message) {
    const char* prefix = direction == 1 ? "Download FAILED.\n " : direction == 2 ? "Upload FAILED.\n " : "Halted FAILED.\n ";
    const char* what = nullptr;
    switch (id) {
        case CKPSTRUCT_COMMVERIFYSHADE: what = "CKPSTRUCT_COMMVERIFYSHADE under construction"; break;
        case CKPSTRUCT_CKIIVERSIONDEFAULT: what = "CKPSTRUCT_CKIIVERSIONDEFAULT under construction"; break;
        case CKPSTRUCT_CKIISETUP: what = "CKPSTRUCT_CKIISETUP under construction"; break;
        default:
            what = "CKPSTRUCT_CKIISHADEROM_TOOTH\n CKPSTRUCT_CKIISHADEROM_TAB\n CKPSTRUCT_CKIISHADEROM_CERAMICVERIFY\n "
                   "CKPSTRUCT_CKIISHADEROM_CERAMICMEASURE\n under construction";
            break;
    }
    if (message != nullptr) {
        message[0] = '\0';
        bStr_cat(message, prefix, kMessageSize);
        bStr_cat(message, what, kMessageSize);
    }
    return false;
}

std::span<std::uint8_t> host_copy_of(std::int32_t id) {
    HostCopies& h = host_copies();
    if (id == CKPSTRUCT_COMMSTRUCTURETABLE) return {reinterpret_cast<std::uint8_t*>(&h.table), sizeof h.table};
    if (id == CKPSTRUCT_COMMSTRUCTURESIZES) return {reinterpret_cast<std::uint8_t*>(&h.sizes), sizeof h.sizes};
    if (const auto copy = copy_of_identifier(id)) return host_bytes(*copy);
    return {};
}

bool transfer_over(Link link, Copy copy, std::int32_t direction) {
    if (link != Link::Usb) {
        const bool bluetooth = link == Link::Bluetooth;
        if (!stream_serves(copy, bluetooth, direction)) return false;
        return direction == 2 ? stream_upload(copy) : stream_download(copy);
    }
    if (direction == 2) return upload(copy);
    if (direction == 1) return download(copy);
    return false;
}

// The request with which the classic instrument on a serial port sends the
// structure whose host copy lies at `structure`, if it sends that one.
std::optional<std::uint8_t> classic_request_code(const void* structure) {
    HostCopies& h = host_copies();
    if (structure == &h.table) return 40;
    const auto* p = static_cast<const std::uint8_t*>(structure);
    for (std::size_t i = 0; i < kShadeTableCount; ++i)
        if (p == h.shade_tables.data() + i * kShadeTableSize) return static_cast<std::uint8_t>(35 + i);
    const auto copy = copy_at_address(structure);
    if (!copy) return std::nullopt;
    switch (*copy) {
        case Copy::Version: return 30;
        case Copy::FirstGenSetup: return 31;
        case Copy::FirstGenNorm: return 33;
        case Copy::Details: return 34;
        case Copy::FirstGenResults: return 41;
        default: return std::nullopt;
    }
}

// Only the classic instrument takes these requests; the line of any other
// kind is not the classic exchange's to write to.
bool classic_upload(const PXM_COMM& comm, std::uint8_t code) {
    return comm.iDevice == TOLA_DEVICE_SERIAL_CLASSIC && comm.hRS232 != -1 && commands::classic_command(code);
}

// Identifier 25 composes a measurement from the host copies of the last one
// into the caller's record (at most its size; the rest of the library's
// record is not the caller's).
bool compose_measurement(PXM_COMM& comm, Link link, void* buffer, std::int32_t size, std::int32_t direction,
                         bool local) {
    if (!local || direction == 1) return false;
    if (!release_or_later("CK0A.00.24.00")) {
        comm.tStatus |= TOLA_STATUS_WRONG_DEVICE;
        return false;
    }
    COMM_MEASUREMENT record{};
    const std::size_t count =
        buffer == nullptr || size <= 0 ? 0 : std::min(static_cast<std::size_t>(size), sizeof record);
    if (count > 0) std::memcpy(&record, buffer, count);
    const auto how = link == Link::Usb      ? measurements::ComposeLink::Usb
                     : link == Link::Serial ? measurements::ComposeLink::Serial
                                            : measurements::ComposeLink::Bluetooth;
    measurements::compose_measurement(record, how);
    if (count > 0) std::memcpy(buffer, &record, count);
    return true;
}

}  // namespace

bool clears_message_first(std::int32_t id) {
    const std::int32_t plain = id & ~CKPSTRUCT_LOCAL;
    return plain == 1 || plain == 2 || plain == 9 || (plain >= 17 && plain <= 27) || plain == 30;
}

std::int32_t transfer_local_structure(PXM_COMM* comm, void* buffer, std::int32_t id, std::int32_t size,
                                      std::int32_t direction, char* message) {
    if (!record_valid(comm)) {
        set_message(message, "lpComm not defined");
        return 0;
    }
    const Link link = link_of(*comm);
    if (link == Link::None) return 0;
    const std::int32_t plain = id & ~CKPSTRUCT_LOCAL;
    const bool local = (id & CKPSTRUCT_LOCAL) != 0;
    if ((id & ~(CKPSTRUCT_LOCAL | 0x7FF)) != 0 || !defined_on(link, plain)) {
        set_message(message, "Structure type not defined");
        return 0;
    }
    if ((plain >= 11 && plain <= 16) || plain == CKPSTRUCT_CKIISETUP) return under_construction(plain, direction, message);

    auto* caller = static_cast<std::uint8_t*>(buffer);
    const std::span<std::uint8_t> host = host_copy_of(plain);
    const std::size_t count =
        caller == nullptr || size <= 0 ? 0 : std::min(static_cast<std::size_t>(size), host.size());

    bool ok = false;
    switch (plain) {
        case CKPSTRUCT_COMMSTRUCTURETABLE:
            ok = link == Link::Usb ? read_structure_table_usb() : stream_read_table();
            break;
        case CKPSTRUCT_COMMSTRUCTURESIZES:
            std::memcpy(caller, host.data(), count);
            return 1;
        case CKPSTRUCT_COMMUSBHOST:
            if (link == Link::Usb && host_copies().table.dCOMM_USB_HOST == 0) {
                set_message(message, "Missing host address 'dCOMM_USB_HOST'");
                return 0;
            }
            if (direction == 1) std::memcpy(host.data(), caller, count);
            ok = (direction == 1 || direction == 2) &&
                 (link == Link::Usb ? host_block_transfer(direction) : transfer_over(link, Copy::HostBlock, direction));
            break;
        case CKPSTRUCT_SETUPROM:
            ok = local || transfer_over(link, Copy::Setup, 2);
            break;
        case CKPSTRUCT_COMMMEASUREMENT: {
            ok = compose_measurement(*comm, link, buffer, size, direction, local);
            if (!ok) set_message(message, failure_text(direction));
            return ok ? 1 : 0;
        }
        default: {
            const auto copy = copy_of_identifier(plain);
            if (!copy) {
                set_message(message, "Structure type not defined");
                return 0;
            }
            if (direction == 1) std::memcpy(host.data(), caller, count);
            ok = local || transfer_over(link, *copy, direction);
            break;
        }
    }
    // The caller gets the host copy back, also after a failed transfer that may have cleared it.
    if (count > 0) std::memcpy(caller, host.data(), count);
    if (ok) return 1;
    set_message(message, failure_text(direction));
    return 0;
}

std::int32_t transfer_structure(PXM_COMM* comm, void* structure, std::int32_t direction, char* message) {
    if (!record_valid(comm)) {
        set_message(message, "lpComm not defined");
        return 0;
    }
    auto halt = [] {
        library_state().stop_state = StopState::HaltRequested;
        return 1;
    };
    if (comm->hUSB != -1) {
        if (structure == &host_copies().table) {
            if (read_structure_table_usb()) return 1;
            set_message(message, failure_text(direction));
            return 0;
        }
        const auto copy = copy_at_address(structure);
        // These move only by identifier; over USB their addresses are not served here.
        const bool served = copy && *copy != Copy::Add3 && *copy != Copy::Add4 && *copy != Copy::ShortResult &&
                            *copy != Copy::Word18Record && *copy != Copy::PsParameters;
        if (!served) {
            if (direction == 3) return halt();
            set_message(message, "Not available");
            return 0;
        }
        if (*copy == Copy::HostBlock && host_copies().table.dCOMM_USB_HOST == 0) {
            set_message(message, "Missing host address 'dCOMM_USB_HOST'");
            return 0;
        }
        bool ok = false;
        if (*copy == Copy::Setup)
            ok = upload(Copy::Setup);
        else if (*copy == Copy::HostBlock)
            ok = host_block_transfer(direction);
        else if (direction == 2)
            ok = upload(*copy);
        else if (direction == 1)
            ok = download(*copy);
        if (ok) return 1;
        set_message(message, failure_text(direction));
        return 0;
    }
    // The classic instrument on a serial port sends its structures on request only.
    if (direction == 1) {
        set_message(message, "Download Not Available");
        return 0;
    }
    if (direction == 3) return halt();
    if (direction != 2) {
        set_message(message, "Transfer unknown");
        return 0;
    }
    const auto code = classic_request_code(structure);
    if (!code) {
        set_message(message, "Not supported by Chromatik RS232");
        return 0;
    }
    if (classic_upload(*comm, *code)) return 1;
    set_message(message, "Upload FAILED");
    return 0;
}

}  // namespace tola::structures
