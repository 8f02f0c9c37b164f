#pragma once

#include <cstdint>
#include <string>

namespace rz417 {

// Upper-case hexadecimal digits without leading zeros ("0" for 0).
std::string hexDigits(uint16_t value);

// Exactly four upper-case hexadecimal digits, zero-padded on the left.
std::string hex4(uint16_t value);

} // namespace rz417
