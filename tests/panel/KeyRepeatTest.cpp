#include "panel/KeyRepeat.h"

#include <gtest/gtest.h>

namespace rz417 {
namespace {

TEST(KeyRepeat, ReleaseAndPressWithinTheIntervalIsTheKeyHeld)
{
    constexpr int O = 'O', Escape = 0x01000000;
    const struct
    {
        int released;
        uint64_t releasedAt;
        int pressed;
        uint64_t pressedAt;
        bool repeats;
    } rows[] = {
        {O, 5000, O, 5000, true},       // the X server's repeat: one time for both
        {O, 5000, O, 5033, true},       // read apart by a busy toolkit, within 1/30 s
        {O, 5000, O, 5034, false},      // pressed again
        {O, 5000, O, 5400, false},      // pressed again
        {O, 5000, Escape, 5000, false}, // another key
        {Escape, 5000, Escape, 5010, true}, {O, 0, O, 0, false}, // no time known
        {O, 5000, O, 4990, false},                               // an earlier press, out of order
    };
    for (const auto &row : rows) {
        KeyRepeat repeat(std::chrono::milliseconds(33));
        repeat.released(row.released, row.releasedAt);
        EXPECT_EQ(repeat.repeats(row.pressed, row.pressedAt), row.repeats)
            << row.releasedAt << " " << row.pressedAt;
    }
}

} // namespace
} // namespace rz417
