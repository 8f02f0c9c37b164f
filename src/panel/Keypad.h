#pragma once

#include "panel/PanelState.h"

#include <optional>
#include <string>

namespace rz417 {

// The largest shifted entry that a further digit may extend, per mode.
int32_t entryLimit(int16_t mode);

// Keys digit d (0 to 9) into the active mode's entry and returns the new display text; nothing
// changes and nothing is returned when ModeCode names no mode.
std::optional<std::string> keyDigit(PanelState &state, int digit);

} // namespace rz417
