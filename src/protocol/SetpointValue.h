#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rz417 {

// A whole number of 10^-decimals written out with its decimal point: fixedText(1234, 2) is
// "12.34", fixedText(5, 3) "0.005". Built from the integer, so no locale changes it.
std::string fixedText(int64_t value, int decimals);

// A word quoted for a message: 'word', cut after 40 characters with "...", control bytes as \xNN.
std::string quotedWord(std::string_view text);

enum class FixedError { None, NotANumber, TooFine, TooLarge };

struct Fixed
{
    FixedError error = FixedError::None;
    int64_t value = 0;
};

// A plain decimal number ("12", "12.34", "0.5"; no sign, exponent, blank or ','), times
// 10^exponent, as a whole number of 10^-decimals. TooFine when it is not a whole number of them,
// TooLarge above limit.
Fixed parseFixed(std::string_view text, int decimals, int exponent, int64_t limit);

// The same number rounded to a whole number of 10^-decimals, a half to even, from its digits:
// "0.0005" with 3 decimals is 0, "0.0015" is 2. Never TooFine; TooLarge above limit.
Fixed roundFixed(std::string_view text, int decimals, int exponent, int64_t limit);

struct ModeInfo;

// A decimal number (as roundFixed takes it) as the setpoint of a mode, as the panel would hold it
// once keyed: rounded once from its digits, a half to even, to the mode's step, so that it goes
// out through setpointFrame as the keypad's entry does (above 1 A in 0.01 A steps from there).
// TooLarge above the mode's range.
Fixed roundSetpoint(const ModeInfo &mode, std::string_view text, int exponent);

// A setpoint as a person types it: a number with '.' as the point, optionally followed by the
// mode's unit ("12.34", "12.34V", "1500mA", "47.5ohm", "47.5Ω"). It must lie within the range
// the panel shows and be a whole number of the mode's step.
struct ParsedSetpoint
{
    std::optional<int32_t> value; // in the mode's steps
    std::string error;            // what is wrong and what is allowed, when there is no value
};
ParsedSetpoint parseSetpoint(int16_t mode, std::string_view text);

// The line a user is told when a current setpoint goes out coarser than it was given ("1.005 A
// goes out as 1.00 A: above 1 A the load takes 0.01 A steps"); nothing when it goes out as is.
std::optional<std::string> roundingNotice(int16_t mode, int32_t value);

} // namespace rz417
