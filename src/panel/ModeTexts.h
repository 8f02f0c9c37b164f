#pragma once

#include <cstdint>

namespace rz417 {

struct ModeTexts
{
    const char *unit;
    const char *range;
    const char *quantity; // "volts", for assistive technology
};

// The unit and range captions of a mode (1 to 4); the CV texts for any other code.
ModeTexts modeTexts(int16_t mode);

constexpr const char *kOutputOnCaption = "Output /ON";
constexpr const char *kOutputOffCaption = "Output / OFF";

} // namespace rz417
