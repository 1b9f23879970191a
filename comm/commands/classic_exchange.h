// Commands of the classic instrument on a serial port (kind 2): one code byte,
// answered by an acknowledgement or by data messages.
#pragma once

#include <cstdint>

namespace tola::commands {

// The sample-rate and bias parameters of the classic instruments (kinds 1 and 2):
// a signed bias, and two signed rate settings at bytes 4-5 and 6-7.
struct ClassicParameters {
    std::int16_t bias = 0;
    std::int16_t unused = 0;
    std::int16_t rate_a = 0;
    std::int16_t rate_b = 0;
    std::int16_t reserved = 0;
};
static_assert(sizeof(ClassicParameters) == 10, "the parameter record is 10 bytes");

// The parameters as kept in the library's PS parameter copy.
ClassicParameters load_parameters();
void store_parameters(const ClassicParameters& parameters);

// Runs the classic command exchange for code X; false when the link or the
// instrument refuses.
bool classic_command(std::uint8_t code);

// Shows a text on the classic instrument's display (display item 129).
bool classic_display_text(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                          std::int32_t value, const char* text);

}  // namespace tola::commands
