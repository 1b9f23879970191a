// The instrument's operating commands, carried by the host command block, the
// classic code bytes or the USB pipes depending on the instrument kind.
#pragma once

#include "tola_comm.h"

#include <cstdint>

namespace tola::commands {

std::int32_t reset();
std::int32_t set_state(std::int32_t state);
std::int32_t get_current_brll(std::int16_t* bias, std::int32_t* rate, std::int32_t* lamp);
std::int32_t set_bias(std::int32_t bias);
std::int32_t set_sample_rate(std::int32_t index);
std::int32_t lamp_shutter_led(std::int32_t bits);
std::int32_t measure_color();
void slave_mode();
std::int32_t calibrate();
std::int32_t defaults();
std::int32_t send_command(COMM_USB_HOST& block);
std::int32_t ckii_control(std::int32_t value);

}  // namespace tola::commands
