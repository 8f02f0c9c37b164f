#pragma once

#include "protocol/Modes.h"

#include <cstdint>

namespace rz417 {

// The panel's single record of what it shows and what was last sent. Every entry and sent value is
// a whole number of its mode's smallest step: 0.01 V, 0.001 A, 0.1 W, 0.1 ohm.
struct PanelState
{
    int16_t ModeCode = ModeCodes::CV;
    bool OutputOn = false;
    bool EntryDone = true;
    int32_t VoltageEntry = 0;
    int32_t CurrentEntry = 0;
    int32_t PowerEntry = 0;
    int16_t ResistanceEntry = 0;
    int32_t SentVoltage = 0;
    int32_t SentCurrent = 0;
    int32_t SentPower = 0;
    int16_t SentResistance = 0;
};

// The entry and sent value of a mode; 0 and no effect for a code that names no mode.
int32_t entryOf(const PanelState &state, int16_t mode);
void setEntry(PanelState &state, int16_t mode, int32_t value);
int32_t sentOf(const PanelState &state, int16_t mode);
void setSent(PanelState &state, int16_t mode, int32_t value);

} // namespace rz417
