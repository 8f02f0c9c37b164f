#pragma once

#include <cstdint>
#include <string>

namespace rz417 {

constexpr const char *kCommErrorTitle = "! RS-232 ERROR !";

// The one-line text shown for a communication error code.
std::string commErrorText(int16_t code);

} // namespace rz417
