// Axis scales: round steps, how many ticks fit, where the axis ends, and the labels.
#include "plot/AxisScale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace rz417::test {
namespace {

TEST(AxisScale, RoundStepsThatFit)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct
    {
        double high;
        int maxTicks, finestExponent;
        bool roundUp;
        double end;
        std::vector<std::string> labels;
    } cases[] = {
        {20, 5, -3, false, 20, {"0", "5", "10", "15", "20"}},
        {60.25, 8, -3, false, 60.25, {"0", "10", "20", "30", "40", "50", "60"}},
        // 0.3 / 0.1 is 2.999... in doubles.
        {0.3, 4, -3, false, 0.3, {"0.0", "0.1", "0.2", "0.3"}},
        // A setpoint axis ends on a tick above the top.
        {2.2, 6, -3, true, 2.5, {"0.0", "0.5", "1.0", "1.5", "2.0", "2.5"}},
        {13.2, 8, -2, true, 14, {"0", "2", "4", "6", "8", "10", "12", "14"}},
        // No finer than the mode's step: 1 mA, not 0.2 mA.
        {0.0011, 11, -3, true, 0.002, {"0.000", "0.001", "0.002"}},
        // Two ticks would leave only 0 below 0.45: three rather than one.
        {0.45, 2, -3, false, 0.45, {"0.0", "0.2", "0.4"}},
        // The longest pass, 100,000 steps of 24 hours.
        {8.64e9,
         6,
         -3,
         false,
         8.64e9,
         {"0", "2000000000", "4000000000", "6000000000", "8000000000"}},
        {0, 5, 0, true, 1, {"0", "1"}},
        {nan, 5, 0, false, 1, {"0", "1"}},
    };
    for (const auto &c : cases) {
        const AxisScale scale = axisScale(c.high, c.maxTicks, c.finestExponent, c.roundUp);
        EXPECT_DOUBLE_EQ(scale.high, c.end) << c.high;
        std::vector<std::string> labels;
        for (const AxisTick &tick : scale.ticks) {
            labels.push_back(tick.label);
            EXPECT_DOUBLE_EQ(tick.value, std::stod(tick.label)) << c.high << " " << tick.label;
        }
        EXPECT_EQ(labels, c.labels) << c.high;
    }
}

} // namespace
} // namespace rz417::test
