// Exported controller (boot-loader) access.  Each operation is exported under
// two names that share one implementation.
#include "comm/api/frame.h"
#include "comm/commands/controller.h"

using namespace tola;

namespace {

std::int32_t controller_command(std::int32_t command, std::int32_t value) {
    return serialised(kFlagResults<>, [&] { return controller::command(command, value); });
}

std::int32_t controller_read(std::uint8_t* data, std::uint32_t address, std::int32_t length) {
    return serialised(kFlagResults<>, [&] { return controller::read(data, address, length); });
}

std::int32_t controller_write(std::uint8_t* data, std::uint32_t address, std::int32_t length, std::int32_t pause) {
    return serialised(kFlagResults<>, [&] { return controller::write(data, address, length, pause); });
}

}  // namespace

extern "C" {

TOLA_API int32_t bTOLA_USB_Renesas_command(int32_t iCommand, int32_t iValue) {
    return controller_command(iCommand, iValue);
}
TOLA_API int32_t bTOLA_comm_Controller_command(int32_t iCommand, int32_t iValue) {
    return controller_command(iCommand, iValue);
}
TOLA_API int32_t bTOLA_USB_Renesas_read(uint8_t* lpData, uint32_t dAddress, int32_t iLength) {
    return controller_read(lpData, dAddress, iLength);
}
TOLA_API int32_t bTOLA_comm_Controller_read(uint8_t* lpData, uint32_t dAddress, int32_t iLength) {
    return controller_read(lpData, dAddress, iLength);
}
TOLA_API int32_t bTOLA_USB_Renesas_write(uint8_t* lpData, uint32_t dAddress, int32_t iLength, int32_t iPause) {
    return controller_write(lpData, dAddress, iLength, iPause);
}
TOLA_API int32_t bTOLA_comm_Controller_write(uint8_t* lpData, uint32_t dAddress, int32_t iLength, int32_t iPause) {
    return controller_write(lpData, dAddress, iLength, iPause);
}

TOLA_API int32_t bTOLA_comm_GetCpuType(int32_t* lpType) {
    return serialised(kFlagResults<>, [&] { return controller::get_cpu_type(lpType); });
}

}  // extern "C"
