#include "panel/ModeTexts.h"

#include "protocol/Modes.h"

namespace rz417 {

ModeTexts modeTexts(int16_t mode)
{
    const ModeInfo *info = modeInfo(mode);
    if (!info)
        info = modeInfo(ModeCodes::CV);
    return {info->unitCaption, info->rangeCaption, info->quantity};
}

} // namespace rz417
