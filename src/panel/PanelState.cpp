#include "panel/PanelState.h"

namespace rz417 {

int32_t entryOf(const PanelState &state, int16_t mode)
{
    switch (mode) {
    case ModeCodes::CV:
        return state.VoltageEntry;
    case ModeCodes::CC:
        return state.CurrentEntry;
    case ModeCodes::CP:
        return state.PowerEntry;
    case ModeCodes::CR:
        return state.ResistanceEntry;
    default:
        return 0;
    }
}

void setEntry(PanelState &state, int16_t mode, int32_t value)
{
    switch (mode) {
    case ModeCodes::CV:
        state.VoltageEntry = value;
        break;
    case ModeCodes::CC:
        state.CurrentEntry = value;
        break;
    case ModeCodes::CP:
        state.PowerEntry = value;
        break;
    case ModeCodes::CR:
        // The keypad never leaves more than 9999 here.
        state.ResistanceEntry = static_cast<int16_t>(value);
        break;
    default:
        break;
    }
}

int32_t sentOf(const PanelState &state, int16_t mode)
{
    switch (mode) {
    case ModeCodes::CV:
        return state.SentVoltage;
    case ModeCodes::CC:
        return state.SentCurrent;
    case ModeCodes::CP:
        return state.SentPower;
    case ModeCodes::CR:
        return state.SentResistance;
    default:
        return 0;
    }
}

void setSent(PanelState &state, int16_t mode, int32_t value)
{
    switch (mode) {
    case ModeCodes::CV:
        state.SentVoltage = value;
        break;
    case ModeCodes::CC:
        state.SentCurrent = value;
        break;
    case ModeCodes::CP:
        state.SentPower = value;
        break;
    case ModeCodes::CR:
        state.SentResistance = static_cast<int16_t>(value);
        break;
    default:
        break;
    }
}

} // namespace rz417
