#include "update/binding/comm_api.h"

namespace ckupdate {
namespace {
const CommFunctions kEmpty{};
}

const CommFunctions& CommApi::Table() const { return f_ != nullptr ? *f_ : kEmpty; }

std::int32_t CommApi::CKPcomm_poll_initialize(PXM_COMM* comm) const {
    return Table().iTOLA_comm_poll_initialize ? Table().iTOLA_comm_poll_initialize(comm) : 0;
}

void CommApi::CKPcomm_close() const {
    if (Table().TOLA_comm_close) Table().TOLA_comm_close();
}

bool CommApi::CKPcomm_test() const { return Table().bTOLA_comm_test && Table().bTOLA_comm_test() == 1; }

bool CommApi::CKPcomm_send_command(COMM_USB_HOST* host) const {
    if (Table().bTOLA_comm_send_command_ex)
        return Table().bTOLA_comm_send_command_ex(host, static_cast<std::int32_t>(sizeof(COMM_USB_HOST))) == 1;
    return Table().bTOLA_comm_send_command && Table().bTOLA_comm_send_command(host) == 1;
}

bool CommApi::CKPcomm_set_state(std::int32_t state) const {
    return Table().bTOLA_comm_set_state && Table().bTOLA_comm_set_state(state) == 1;
}

bool CommApi::CKPTransfer_local_structure(PXM_COMM* comm, void* buffer, std::int32_t id, std::int32_t size,
                                          std::int32_t direction, char* message) const {
    return Table().bTOLA_Transfer_local_structure &&
           Table().bTOLA_Transfer_local_structure(comm, buffer, id, size, direction, message) == 1;
}

bool CommApi::CKPRenesas_command(std::int32_t command, std::int32_t value) const {
    const auto low = static_cast<std::uint16_t>(command & 0xFFFF);
    if (low < 9 || low > 12) return false;
    return Table().bTOLA_USB_Renesas_command && Table().bTOLA_USB_Renesas_command(command, value) == 1;
}

bool CommApi::CKPRenesas_write(const std::uint8_t* data, std::uint32_t address, std::int32_t length) const {
    // The library takes the data pointer without const; it only reads it.
    return Table().bTOLA_USB_Renesas_write &&
           Table().bTOLA_USB_Renesas_write(const_cast<std::uint8_t*>(data), address, length,
                                           kControllerWritePauseMs) == 1;
}

bool CommApi::CKPRenesas_read(std::uint8_t* data, std::uint32_t address, std::int32_t length) const {
    return Table().bTOLA_USB_Renesas_read && Table().bTOLA_USB_Renesas_read(data, address, length) == 1;
}

bool CommApi::CK_comm_BtDiscovery(BT_DEVICES* devices) const {
    return Table().bTOLA_comm_bt_discovery_ex &&
           Table().bTOLA_comm_bt_discovery_ex(devices, static_cast<std::int32_t>(sizeof(BT_DEVICES))) == 1;
}

void CommApi::CK_comm_BtSetDevice(BT_DEVICE* device) const {
    if (Table().TOLA_comm_bt_set_device_ex)
        Table().TOLA_comm_bt_set_device_ex(device, static_cast<std::int32_t>(sizeof(BT_DEVICE)));
}

std::int32_t CommApi::ControllerType() const {
    std::int32_t type = 0;
    if (!Table().bTOLA_comm_GetCpuType || Table().bTOLA_comm_GetCpuType(&type) != 1) return 0;
    return type;
}

bool CommApi::CKPcomm_poll_set_details(std::int32_t details) const {
    return Table().bTOLA_comm_poll_set_details && Table().bTOLA_comm_poll_set_details(details) == 1;
}

}  // namespace ckupdate
