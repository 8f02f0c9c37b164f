#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rz417 {

// The value the constant-current frame carries and its code: up to 1.000 A the entry itself in
// the low range (67), above it the entry / 10 rounded half to even in the high range (63).
struct CurrentValue
{
    int code;
    int32_t value;
};
CurrentValue currentFrameValue(int32_t current);

// The six-character frame that sets a mode (1 to 4) to a value in its steps; empty for a code
// that names no mode. Values the keypad or a checked setpoint can hold fit into 16 bits.
std::string setpointFrame(int16_t mode, int32_t value);

// The input command: 66 with 00FF switches the load's input on, with FFFF off.
constexpr int kInputFrameCode = 0x66;
constexpr uint16_t kInputOnValue = 0x00FF;
constexpr uint16_t kInputOffValue = 0xFFFF;
std::string inputFrame(bool on);

// What a frame tells the load, in words: "CV 12.34 V", "CC 0.500 A", "CC 12.36 A" (the high
// range's 0.01 A steps), "input on".
std::string setpointMeaning(int16_t mode, int32_t value);
std::string inputMeaning(bool on);

// What a frame the panel sends does to the load: a mode's setpoint, in the mode's steps as it
// went out (above 1 A in whole 0.01 A), or the input. Nothing for anything else.
struct FrameEffect
{
    int16_t mode = 0; // 0: the frame is the input's
    int32_t value = 0;
    bool inputOn = false;
};
std::optional<FrameEffect> frameEffect(std::string_view frame);

} // namespace rz417
