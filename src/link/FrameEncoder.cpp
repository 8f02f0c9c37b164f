#include "link/FrameEncoder.h"

#include "link/HexText.h"

namespace rz417 {

namespace {

std::string frame(int code, int32_t value)
{
    // Codes are 0x62 to 0x67; values from the keypad fit into 16 bits.
    return hexDigits(static_cast<uint16_t>(code)) + hex4(static_cast<uint16_t>(value));
}

} // namespace

CurrentValue currentFrameValue(int32_t c)
{
    if (c <= 1000)
        return {0x67, c};
    const int32_t q = c / 10;
    const int32_t r = c % 10;
    const bool up = r > 5 || (r == 5 && q % 2 == 1);
    return {0x63, up ? q + 1 : q};
}

std::string encodeFrame(int16_t Ch, const PanelState &state)
{
    switch (Ch) {
    case ModeCodes::CV:
        return frame(0x62, state.VoltageEntry);
    case ModeCodes::CC: {
        const CurrentValue v = currentFrameValue(state.CurrentEntry);
        return frame(v.code, v.value);
    }
    case ModeCodes::CP:
        return frame(0x64, state.PowerEntry);
    case ModeCodes::CR:
        return frame(0x65, state.ResistanceEntry);
    case kOutputSelector:
        return state.OutputOn ? "6600FF" : "66FFFF";
    default:
        return {};
    }
}

void recordSent(int16_t Ch, PanelState &state)
{
    if (isMode(Ch))
        setSent(state, Ch, entryOf(state, Ch));
}

} // namespace rz417
