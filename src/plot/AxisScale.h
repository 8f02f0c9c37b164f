#pragma once

#include <string>
#include <vector>

namespace rz417 {

struct AxisTick
{
    double value;
    std::string label; // "0.5", "20": every tick of an axis with the same decimals
};

// An axis from 0 with its ticks at a round step: 1, 2 or 5 times a power of ten.
struct AxisScale
{
    double high = 1;
    std::vector<AxisTick> ticks;
};

// The finest round step, never finer than 10^finestExponent, that puts at most maxTicks ticks
// (at least 2) on 0 to high; should that leave only the tick at 0, the step before it. With
// roundUp the axis ends on the first tick at or above high, otherwise at high itself. A high
// that is not a positive number is taken as 1.
AxisScale axisScale(double high, int maxTicks, int finestExponent, bool roundUp);

} // namespace rz417
