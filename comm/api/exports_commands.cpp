// Exported device commands.
#include "comm/api/frame.h"
#include "comm/api/size_tolerant.h"
#include "comm/commands/device_commands.h"
#include "comm/platform/clock.h"

using namespace tola;

namespace {

constexpr std::uint32_t kAfterResetMs = 2500;
constexpr std::uint32_t kAfterStoreMs = 3000;
constexpr std::int32_t kStoreState = 53;
constexpr std::int32_t kOperatingState = 20;

}  // namespace

extern "C" {

TOLA_API int32_t bTOLA_comm_reset(void) {
    return serialised(kFlagResults<>, [] {
        const std::int32_t result = commands::reset();
        // Still holding the mutex: no other call reaches the instrument while it restarts.
        if (result != 0) platform::sleep_ms(kAfterResetMs);
        return result;
    });
}

TOLA_API int32_t bTOLA_comm_set_state(int32_t iState) {
    return serialised(kFlagResults<>, [&] {
        std::int32_t result = commands::set_state(iState);
        if (iState == kStoreState && result != 0) {
            platform::sleep_ms(kAfterStoreMs);
            result = commands::set_state(kOperatingState);
        }
        return result;
    });
}

TOLA_API int32_t bTOLA_comm_get_current_BRLL(int16_t* lpBias, int32_t* lpRate, int32_t* lpLamp) {
    return serialised(kFlagResults<>, [&] { return commands::get_current_brll(lpBias, lpRate, lpLamp); });
}

TOLA_API int32_t bTOLA_comm_set_bias(int32_t iBias) {
    return serialised(kFlagResults<>, [&] { return commands::set_bias(iBias); });
}

TOLA_API int32_t bTOLA_comm_set_sample_rate(int32_t iIndex) {
    return serialised(kFlagResults<>, [&] { return commands::set_sample_rate(iIndex); });
}

TOLA_API int32_t bTOLA_comm_lamp_shutter_LED(int32_t iBits) {
    return serialised(kFlagResults<>, [&] { return commands::lamp_shutter_led(iBits); });
}

TOLA_API int32_t bTOLA_comm_measure_color(void) {
    return serialised(kFlagResults<>, [] { return commands::measure_color(); });
}

TOLA_API int32_t TOLA_comm_slave_mode(void) {
    return serialised_plain([] { commands::slave_mode(); });
}

TOLA_API int32_t bTOLA_comm_calibrate(void) {
    return serialised(kFlagResults<>, [] { return commands::calibrate(); });
}

TOLA_API int32_t bTOLA_comm_defaults(void) {
    return serialised(kFlagResults<>, [] { return commands::defaults(); });
}

TOLA_API int32_t bTOLA_comm_send_command(COMM_USB_HOST* lpHost) {
    return serialised(kFlagResults<>, [&] { return lpHost != nullptr ? commands::send_command(*lpHost) : 0; });
}

TOLA_API int32_t bTOLA_comm_send_command_ex(COMM_USB_HOST* lpHost, int32_t iSize) {
    return serialised(kFlagResults<>, [&] {
        return with_local_copy<COMM_USB_HOST>(lpHost, iSize, [](COMM_USB_HOST& block) {
                   return commands::send_command(block);
               }).value_or(0);
    });
}

TOLA_API int32_t bTOLA_USB_CKII_control(int32_t iValue) {
    return serialised(kFlagResults<>, [&] { return commands::ckii_control(iValue); });
}

}  // extern "C"
