#pragma once

#include "panel/PanelState.h"

#include <cstdint>
#include <string>

namespace rz417 {

// The six-character command frame for selector Ch (1 to 4 a setpoint of that mode, 5 the output
// command), or the empty string for any other selector. Reads the entries and OutputOn only.
std::string encodeFrame(int16_t Ch, const PanelState &state);

// The value the constant-current frame carries and its code: up to 1.000 A the entry itself in
// the low range (67), above it the entry / 10 rounded half to even in the high range (63).
struct CurrentValue
{
    int code;
    int32_t value;
};
CurrentValue currentFrameValue(int32_t currentEntry);

// After a setpoint frame went out: copies the sent entry into its sent-value field.
void recordSent(int16_t Ch, PanelState &state);

} // namespace rz417
