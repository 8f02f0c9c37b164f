#include "panel/FrameEncoder.h"

#include "protocol/Frame.h"

namespace rz417 {

std::string encodeFrame(int16_t Ch, const PanelState &state)
{
    if (isMode(Ch))
        return setpointFrame(Ch, entryOf(state, Ch));
    if (Ch == kOutputSelector)
        return inputFrame(state.OutputOn);
    return {};
}

std::string frameMeaning(int16_t Ch, const PanelState &state)
{
    if (isMode(Ch))
        return setpointMeaning(Ch, entryOf(state, Ch));
    if (Ch == kOutputSelector)
        return inputMeaning(state.OutputOn);
    return {};
}

void recordSent(int16_t Ch, PanelState &state)
{
    if (isMode(Ch))
        setSent(state, Ch, entryOf(state, Ch));
}

} // namespace rz417
