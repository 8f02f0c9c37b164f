#pragma once

#include <cstdint>
#include <string>

namespace rz417 {

// The five-character setpoint display of an entry as the digit keys show it: CV "12.34",
// CC "0.123" below 1.000 A and "12.34" from there (thousandths dropped), CP and CR "199.9".
// A CC entry of 0 shows "0.000". Empty for a code that names no mode.
std::string setpointText(int16_t mode, int32_t entry);

// As setpointText, except that a CC entry of 0 shows "00.00", as the mode button shows it.
std::string modeButtonText(int16_t mode, int32_t entry);

} // namespace rz417
