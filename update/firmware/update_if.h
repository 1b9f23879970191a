// The boot-loader operations of the update (U_CK_UpdateIf): a bare controller
// command, erasing one flash sector and writing one block, with the fixed retry
// policy (three attempts, 300 ms before the second and the third), one trace
// line per operation and E_UpdateIf for a failure.  Also the read-back used by
// the verify pass.
#pragma once

#include "update/binding/comm_api.h"
#include "update/program_clock.h"
#include "update/program_error.h"

#include <cstdint>
#include <string>

namespace ckupdate {

CKUPDATE_ERROR_CLASS(E_UpdateIf);

namespace ctl {
inline constexpr std::int32_t kEraseSector = 9, kLeaveProgramming = 10, kEnterProgramming = 11;
}

inline constexpr int kFlashAttempts = 3;
inline constexpr std::uint32_t kFlashRetryPauseMs = 300;

class TUpdateIf {
public:
    TUpdateIf(CommApi api, ProgramClock& clock) : api_(api), clock_(clock) {}

    // One controller command, no retry; never throws.
    bool SendCommand(std::int32_t command, std::int32_t data);
    // Erases flash sector `page`; throws E_UpdateIf after three failed attempts.
    bool PageErase(int page);
    // Writes `length` bytes to `address` (page: the sector holding it, for the
    // texts); throws E_UpdateIf after three failed attempts.
    bool ProgramFlash(const std::uint8_t* data, int page, std::uint32_t address, std::uint16_t length);
    // Reads `length` bytes back from `address` with the same retry policy.
    bool ReadFlash(std::uint8_t* data, int page, std::uint32_t address, std::uint16_t length);

private:
    template <typename Attempt>
    bool WithRetries(Attempt attempt);
    void Trace(const std::string& text);

    CommApi api_;
    ProgramClock& clock_;
};

}  // namespace ckupdate
