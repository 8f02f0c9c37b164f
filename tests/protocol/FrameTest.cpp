// Frames and what they do to the load, and setpoints rounded to what goes out.
#include "protocol/Frame.h"
#include "protocol/Modes.h"
#include "protocol/SetpointValue.h"

#include <gtest/gtest.h>

namespace rz417 {
namespace {

TEST(Frame, EachFrameSaysWhatItDoes)
{
    const struct
    {
        const char *frame;
        bool valid;
        int16_t mode; // 0: the input
        int32_t value;
        bool inputOn;
    } rows[] = {
        {"6204D2", true, ModeCodes::CV, 1234, false},
        {"6703E8", true, ModeCodes::CC, 1000, false},
        // The high range carries 0.01 A: the value as it went out, in the mode's 0.001 A steps.
        {"630065", true, ModeCodes::CC, 1010, false},
        {"6407D0", true, ModeCodes::CP, 2000, false},
        {"65270F", true, ModeCodes::CR, 9999, false},
        {"6600FF", true, 0, 0, true},
        {"66FFFF", true, 0, 0, false},
        {"6204d2", false, 0, 0, false},
        {"6104D2", false, 0, 0, false},
        {"6204D", false, 0, 0, false},
        {"", false, 0, 0, false},
    };
    for (const auto &row : rows) {
        const auto effect = frameEffect(row.frame);
        ASSERT_EQ(effect.has_value(), row.valid) << row.frame;
        if (!effect)
            continue;
        EXPECT_EQ(effect->mode, row.mode) << row.frame;
        EXPECT_EQ(effect->value, row.value) << row.frame;
        EXPECT_EQ(effect->inputOn, row.inputOn) << row.frame;
        if (row.mode != 0) {
            EXPECT_EQ(setpointFrame(row.mode, row.value), row.frame) << "the same frame again";
        }
    }
}

TEST(Frame, SetpointsRoundOnceToTheModesStep)
{
    const struct
    {
        int16_t mode;
        const char *digits;
        int exponent;
        FixedError error;
        int64_t value;
    } rows[] = {
        {ModeCodes::CV, "12.345", 0, FixedError::None, 1234},
        {ModeCodes::CV, "63.005", 0, FixedError::None, 6300},
        {ModeCodes::CV, "63.0051", 0, FixedError::TooLarge, 0},
        {ModeCodes::CC, "0.9995", 0, FixedError::None, 1000},
        // A current as the keypad holds it: its frame is the keypad's, above 1 A in 0.01 A.
        {ModeCodes::CC, "1.0051", 0, FixedError::None, 1005},
        {ModeCodes::CC, "1.005", 0, FixedError::None, 1005},
        {ModeCodes::CC, "14.9949", 0, FixedError::None, 14995},
        {ModeCodes::CC, "15.0005", 0, FixedError::None, 15000},
        {ModeCodes::CC, "15.0049", 0, FixedError::TooLarge, 0},
        {ModeCodes::CR, "47.55", 0, FixedError::None, 476},
        {ModeCodes::CP, "1", 30, FixedError::TooLarge, 0},
    };
    for (const auto &row : rows) {
        const Fixed fixed = roundSetpoint(*modeInfo(row.mode), row.digits, row.exponent);
        EXPECT_EQ(fixed.error, row.error) << row.digits;
        EXPECT_EQ(fixed.value, row.value) << row.digits;
    }
}

} // namespace
} // namespace rz417
