// The wrappers through which the program calls the communication library.  Each
// checks its entry of the function table and returns its neutral value (false,
// 0 or nothing) without calling anything when the entry is null, so the program
// runs, and shows "not loaded", without the library.  The wrappers never throw.
//
// A CommApi is a view of a function table that its owner keeps alive (the
// loader's table, or a tool's table of its linked symbols).
#pragma once

#include "update/binding/comm_functions.h"

#include <cstdint>

namespace ckupdate {

inline constexpr int kStatusMessageSize = 501;
inline constexpr std::int32_t kControllerWritePauseMs = 10;

class CommApi {
public:
    CommApi() = default;
    explicit CommApi(const CommFunctions* table) : f_(table) {}

    const CommFunctions& Table() const;
    bool Loaded() const { return f_ != nullptr && f_->iTOLA_comm_poll_initialize != nullptr; }

    std::int32_t CKPcomm_poll_initialize(PXM_COMM* comm) const;
    void CKPcomm_close() const;
    bool CKPcomm_test() const;
    // The _ex form (size 64) when bound, else the plain form.
    bool CKPcomm_send_command(COMM_USB_HOST* host) const;
    bool CKPcomm_set_state(std::int32_t state) const;
    // message: a buffer of kStatusMessageSize characters.
    bool CKPTransfer_local_structure(PXM_COMM* comm, void* buffer, std::int32_t id, std::int32_t size,
                                     std::int32_t direction, char* message) const;
    // Passes only the controller commands 9, 10, 11 and 12 (compared on the low 16 bits).
    bool CKPRenesas_command(std::int32_t command, std::int32_t value) const;
    // Always with the write pause kControllerWritePauseMs.
    bool CKPRenesas_write(const std::uint8_t* data, std::uint32_t address, std::int32_t length) const;
    bool CKPRenesas_read(std::uint8_t* data, std::uint32_t address, std::int32_t length) const;
    bool CK_comm_BtDiscovery(BT_DEVICES* devices) const;
    void CK_comm_BtSetDevice(BT_DEVICE* device) const;
    bool CKPcomm_poll_set_details(std::int32_t details) const;
    // The controller of the connected instrument (1 H8SX, 2 STM32F2), 0 when unknown.
    std::int32_t ControllerType() const;

private:
    const CommFunctions* f_ = nullptr;
};

}  // namespace ckupdate
