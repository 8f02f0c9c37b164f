#include "entry/SetpointText.h"

#include "panel/PanelState.h"

namespace rz417 {

namespace {

// Built from the integer, so no locale can change the digits.
std::string padded(int32_t value, int width)
{
    std::string digits = std::to_string(value);
    if (static_cast<int>(digits.size()) < width)
        digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
    return digits;
}

} // namespace

std::string setpointText(int16_t mode, int32_t e)
{
    switch (mode) {
    case ModeCodes::CV:
        return padded(e / 100, 2) + "." + padded(e % 100, 2);
    case ModeCodes::CC:
        if (e < 1000)
            return "0." + padded(e, 3);
        return padded(e / 1000, 2) + "." + padded((e % 1000) / 10, 2);
    case ModeCodes::CP:
    case ModeCodes::CR:
        return padded(e / 10, 3) + "." + padded(e % 10, 1);
    default:
        return {};
    }
}

std::string modeButtonText(int16_t mode, int32_t entry)
{
    if (mode == ModeCodes::CC && entry == 0)
        return "00.00";
    return setpointText(mode, entry);
}

} // namespace rz417
