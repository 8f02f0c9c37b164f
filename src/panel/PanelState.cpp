#include "panel/PanelState.h"

#include <type_traits>

namespace rz417 {

namespace {

// Calls visit with the entry and the sent value of a mode: the one place where the modes meet
// the panel state's named fields. Nothing for a code that names no mode.
template <typename State, typename Visit> void withFields(State &state, int16_t mode, Visit &&visit)
{
    switch (mode) {
    case ModeCodes::CV:
        visit(state.VoltageEntry, state.SentVoltage);
        break;
    case ModeCodes::CC:
        visit(state.CurrentEntry, state.SentCurrent);
        break;
    case ModeCodes::CP:
        visit(state.PowerEntry, state.SentPower);
        break;
    case ModeCodes::CR:
        visit(state.ResistanceEntry, state.SentResistance);
        break;
    default:
        break;
    }
}

// The CR fields are 16 bits wide: the keypad never leaves more than 9999 there.
template <typename Field> void assign(Field &field, int32_t value)
{
    field = static_cast<std::remove_reference_t<Field>>(value);
}

} // namespace

int32_t entryOf(const PanelState &state, int16_t mode)
{
    int32_t value = 0;
    withFields(state, mode, [&](const auto &entry, const auto &) { value = entry; });
    return value;
}

void setEntry(PanelState &state, int16_t mode, int32_t value)
{
    withFields(state, mode, [&](auto &entry, auto &) { assign(entry, value); });
}

int32_t sentOf(const PanelState &state, int16_t mode)
{
    int32_t value = 0;
    withFields(state, mode, [&](const auto &, const auto &sent) { value = sent; });
    return value;
}

void setSent(PanelState &state, int16_t mode, int32_t value)
{
    withFields(state, mode, [&](auto &, auto &sent) { assign(sent, value); });
}

} // namespace rz417
