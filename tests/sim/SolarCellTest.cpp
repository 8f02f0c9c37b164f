#include "SolarCell.h"
#include "Simulator.h"

#include "CaseName.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

namespace rz417::sim {
namespace {

const Simulator::SteadyTime kStart{};

Simulator onCell(const char *text)
{
    SolarCellParams params;
    EXPECT_TRUE(parseSolarCell(text, params)) << text;
    Simulator sim(Source{}, false);
    sim.useSolarCell(params);
    return sim;
}

struct CellCase
{
    const char *name;
    const char *frames;
    double volts; // at the terminals of a 21.6 V 3.0 A cell
};

class SolarCellTest : public ::testing::TestWithParam<CellCase>
{
};

TEST_P(SolarCellTest, MeterReads)
{
    const CellCase &c = GetParam();
    Simulator sim = onCell("21.6,3.0");
    sim.received(c.frames, {}, kStart, {});
    EXPECT_NEAR(sim.terminalVolts(kStart), c.volts, 1e-4);
}

// CC in 10 mA (63xxxx), CR in 0.1 ohm (65), CP in 0.1 W (64); 6600FF on. The maximum power point
// is 48.60 W at 17.65 V.
const CellCase kCases[] = {
    {"InputOff", "630064", 21.6},
    {"CcHalfTheShortCircuitCurrent", "6300966600FF", 20.504758},
    {"CcAtTheShortCircuitCurrent", "63012C6600FF", 0.0},
    {"Cr", "6500326600FF", 14.797521},
    {"CpOnTheHighSide", "6401906600FF", 19.838077},
    {"CpAboveTheMaximumPower", "6401E76600FF", 0.0},
};

INSTANTIATE_TEST_SUITE_P(Points, SolarCellTest, ::testing::ValuesIn(kCases), CaseName());

// A CC sweep in 10 mA steps as a test program makes it: from VOC down to 0 V past ISC, never
// rising, through a best power of three quarters of VOC * ISC whatever the cell.
TEST(SolarCell, SweptFromOpenToShortCircuit)
{
    for (const char *text : {"21.6,3", "0.6,8", "40,4.5"}) {
        SolarCellParams params;
        ASSERT_TRUE(parseSolarCell(text, params));
        Simulator sim = onCell(text);
        sim.received("6300006600FF", {}, kStart, {});
        double last = sim.terminalVolts(kStart);
        EXPECT_NEAR(last, params.openVolts, 1e-9) << text;
        double best = 0.0;
        for (int centiamps = 1; centiamps <= params.shortAmps * 100 + 1; ++centiamps) {
            char frame[16];
            std::snprintf(frame, sizeof frame, "63%04X", static_cast<unsigned>(centiamps));
            sim.received(frame, {}, kStart, {});
            const double volts = sim.terminalVolts(kStart);
            EXPECT_LE(volts, last) << text << " at " << centiamps << " cA";
            last = volts;
            best = std::max(best, volts * centiamps / 100.0);
        }
        EXPECT_NEAR(last, 0.0, 1e-9) << text << " past ISC";
        EXPECT_NEAR(best / (params.openVolts * params.shortAmps), 0.75, 0.01) << text;
    }
}

} // namespace
} // namespace rz417::sim
