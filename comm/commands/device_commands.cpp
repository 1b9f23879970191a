// The instrument kinds' command paths join this file with the links that carry
// them; until then no instrument kind is served and every command reports 0.
#include "comm/commands/device_commands.h"

namespace tola::commands {

std::int32_t reset() { return 0; }
std::int32_t set_state(std::int32_t) { return 0; }
std::int32_t get_current_brll(std::int16_t*, std::int32_t*, std::int32_t*) { return 0; }
std::int32_t set_bias(std::int32_t) { return 0; }
std::int32_t set_sample_rate(std::int32_t) { return 0; }
std::int32_t lamp_shutter_led(std::int32_t) { return 0; }
std::int32_t measure_color() { return 0; }
void slave_mode() {}
std::int32_t calibrate() { return 0; }
std::int32_t defaults() { return 0; }
std::int32_t send_command(COMM_USB_HOST&) { return 0; }
std::int32_t ckii_control(std::int32_t) { return 0; }

}  // namespace tola::commands
