#include "panel/Keypad.h"

#include "panel/SetpointText.h"

namespace rz417 {

int32_t entryLimit(int16_t mode)
{
    const ModeInfo *info = modeInfo(mode);
    return info ? info->keypadLimit : 0;
}

std::optional<std::string> keyDigit(PanelState &state, int digit)
{
    const int16_t mode = state.ModeCode;
    if (!isMode(mode))
        return std::nullopt;

    int32_t entry = 0;
    bool restartedAtLimit = false;
    if (state.EntryDone) {
        state.EntryDone = false;
        entry = digit;
    } else {
        // Wide enough for the 16-bit CR entry, whose tenfold can pass 32767.
        const int64_t shifted = int64_t{entryOf(state, mode)} * 10;
        if (shifted > entryLimit(mode)) {
            entry = digit;
            restartedAtLimit = true;
        } else {
            entry = static_cast<int32_t>(shifted) + digit;
        }
    }
    setEntry(state, mode, entry);

    // The instrument's own panel shows this restart in CC as 00.00, not 0.000.
    if (mode == ModeCodes::CC && digit == 0 && restartedAtLimit)
        return std::string("00.00");
    return setpointText(mode, entry);
}

} // namespace rz417
