#include "protocol/Frame.h"

#include "protocol/HexText.h"
#include "protocol/Modes.h"
#include "protocol/SetpointValue.h"

namespace rz417 {

CurrentValue currentFrameValue(int32_t c)
{
    const ModeInfo &cc = *modeInfo(ModeCodes::CC);
    if (c <= cc.lowRangeTop)
        return {cc.frameCode, c};
    const int32_t q = c / 10;
    const int32_t r = c % 10;
    const bool up = r > 5 || (r == 5 && q % 2 == 1);
    return {cc.highFrameCode, up ? q + 1 : q};
}

std::string setpointFrame(int16_t mode, int32_t value)
{
    const ModeInfo *info = modeInfo(mode);
    if (!info)
        return {};
    const CurrentValue sent =
        info->highFrameCode != 0 ? currentFrameValue(value) : CurrentValue{info->frameCode, value};
    return hexDigits(static_cast<uint16_t>(sent.code)) + hex4(static_cast<uint16_t>(sent.value));
}

std::string inputFrame(bool on)
{
    return hexDigits(static_cast<uint16_t>(kInputFrameCode)) +
           hex4(on ? kInputOnValue : kInputOffValue);
}

std::string setpointMeaning(int16_t mode, int32_t value)
{
    const ModeInfo *info = modeInfo(mode);
    if (!info)
        return {};
    std::string number;
    if (info->highFrameCode != 0 && value > info->lowRangeTop)
        number = fixedText(currentFrameValue(value).value, info->decimals - 1);
    else
        number = fixedText(value, info->decimals);
    return std::string(info->name) + " " + number + " " + info->unitText;
}

std::string inputMeaning(bool on)
{
    return on ? "input on" : "input off";
}

std::optional<FrameEffect> frameEffect(std::string_view frame)
{
    if (frame.size() != 6)
        return std::nullopt;
    const std::string text(frame);
    if (text == inputFrame(true) || text == inputFrame(false))
        return FrameEffect{0, 0, text == inputFrame(true)};
    for (const ModeInfo &mode : modes()) {
        for (const int code : {mode.frameCode, mode.highFrameCode}) {
            if (code == 0 || frame.substr(0, 2) != hexDigits(static_cast<uint16_t>(code)))
                continue;
            int32_t value = 0;
            for (const char c : frame.substr(2)) {
                const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
                if (digit < 0)
                    return std::nullopt;
                value = value * 16 + digit;
            }
            return FrameEffect{mode.code, code == mode.highFrameCode ? value * 10 : value, false};
        }
    }
    return std::nullopt;
}

} // namespace rz417
