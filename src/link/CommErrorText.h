#pragma once

#include "link/CommControl.h"

#include <cstdint>
#include <string>

namespace rz417 {

constexpr const char *kCommErrorTitle = "! RS-232 ERROR !";

// The one-line text shown for a communication error code.
std::string commErrorText(int16_t code);

// A failed property write as a journal records it: the code's text and the control's own words,
// or the device's refusal ("Hardware not present: /dev/ttyUSB0: permission denied (...)").
std::string commFailureText(const CommError &error);

} // namespace rz417
