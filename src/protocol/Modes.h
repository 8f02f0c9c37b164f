#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace rz417 {

// Mode codes held in ModeCode; they double as the encoder's selectors 1 to 4.
namespace ModeCodes {
constexpr int16_t CV = 1;
constexpr int16_t CC = 2;
constexpr int16_t CP = 3;
constexpr int16_t CR = 4;
} // namespace ModeCodes

// Selector of the output command; never stored in ModeCode.
constexpr int16_t kOutputSelector = 5;

inline bool isMode(int16_t mode)
{
    return mode >= ModeCodes::CV && mode <= ModeCodes::CR;
}

// A unit suffix that a typed value may carry, and the power of ten it scales by.
struct UnitSuffix
{
    const char *text;
    int exponent; // -3 for milli
};

// Everything the panel, the command line and programs know about one mode. Setpoints are whole
// numbers of the mode's step, 10^-decimals of the unit.
struct ModeInfo
{
    int16_t code;           // ModeCode and the encoder's selector
    const char *name;       // "CV"
    const char *unitCaption; // the unit label's text ("Ω" for CR)
    const char *unitText;    // the unit in plain ASCII, for terminals and files
    const char *quantity;    // what a screen reader says the display holds
    const char *rangeCaption;
    int decimals;
    int32_t rangeTop;    // the top of the range the panel shows, in steps
    int32_t keypadLimit; // the largest entry that a further digit may extend
    int frameCode;       // the setpoint command
    // CC only: above lowRangeTop the frame carries the value / 10 under highFrameCode.
    int highFrameCode;
    int32_t lowRangeTop;
    std::array<UnitSuffix, 3> suffixes; // empty text ends the list
};

// The four modes, in ModeCode order.
const std::array<ModeInfo, 4> &modes();

// The mode with this code, or nullptr for a code that names no mode.
const ModeInfo *modeInfo(int16_t code);

// The mode named "CV", "cc", ... (either case), or nullptr.
const ModeInfo *modeByName(std::string_view name);

} // namespace rz417
