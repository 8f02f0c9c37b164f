#pragma once

#include "panel/PanelState.h"

#include <cstdint>
#include <string>

namespace rz417 {

// The six-character command frame for selector Ch (1 to 4 the active entry of that mode, 5 the
// output command), or the empty string for any other selector. Reads the entries and OutputOn.
std::string encodeFrame(int16_t Ch, const PanelState &state);

// What the frame of selector Ch tells the load ("CC 0.500 A", "input on"); empty for no frame.
std::string frameMeaning(int16_t Ch, const PanelState &state);

// After a setpoint frame went out: copies the sent entry into its sent-value field.
void recordSent(int16_t Ch, PanelState &state);

} // namespace rz417
