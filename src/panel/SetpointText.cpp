#include "panel/SetpointText.h"

#include "protocol/Modes.h"

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
    const ModeInfo *info = modeInfo(mode);
    if (!info)
        return {};
    int decimals = info->decimals;
    if (info->highFrameCode != 0) {
        // CC: the low range shows all its digits; from 1.000 A the thousandths are dropped.
        if (e < 1000)
            return "0." + padded(e, 3);
        e /= 10;
        --decimals;
    }
    int32_t scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    // Five characters: the integer digits take what the point and the decimals leave.
    return padded(e / scale, 4 - decimals) + "." + padded(e % scale, decimals);
}

std::string modeButtonText(int16_t mode, int32_t entry)
{
    if (mode == ModeCodes::CC && entry == 0)
        return "00.00";
    return setpointText(mode, entry);
}

} // namespace rz417
