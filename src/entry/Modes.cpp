#include "entry/Modes.h"

#include "panel/PanelState.h"

namespace rz417 {

ModeTexts modeTexts(int16_t mode)
{
    switch (mode) {
    case ModeCodes::CC:
        return {"A", "Range : 0 to 15.00A"};
    case ModeCodes::CP:
        return {"W", "Range : 0 to 200.0W"};
    case ModeCodes::CR:
        return {"\u03A9", "Range : 0 to 999.9\u03A9"};
    case ModeCodes::CV:
    default:
        return {"V", "Range : 0 to 63.00V"};
    }
}

} // namespace rz417
