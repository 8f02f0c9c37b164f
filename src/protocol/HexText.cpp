#include "protocol/HexText.h"

namespace rz417 {

namespace {
constexpr char kDigits[] = "0123456789ABCDEF";
}

std::string hex4(uint16_t value)
{
    std::string text(4, '0');
    for (int i = 3; i >= 0; --i) {
        text[static_cast<std::size_t>(i)] = kDigits[value & 0xF];
        value = static_cast<uint16_t>(value >> 4);
    }
    return text;
}

std::string hexDigits(uint16_t value)
{
    const std::string padded = hex4(value);
    const auto first = padded.find_first_not_of('0');
    return first == std::string::npos ? std::string("0") : padded.substr(first);
}

} // namespace rz417
