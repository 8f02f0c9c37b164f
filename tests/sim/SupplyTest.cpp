#include "Supply.h"
#include "Simulator.h"

#include "CaseName.h"

#include <gtest/gtest.h>

namespace rz417::sim {
namespace {

const Simulator::SteadyTime kStart{};

Simulator onSupply(const char *text)
{
    SupplyParams params;
    EXPECT_TRUE(parseSupply(text, params)) << text;
    Simulator sim(Source{}, false);
    sim.useSupply(params, kStart);
    return sim;
}

struct SupplyCase
{
    const char *name;
    const char *supply;
    const char *frames; // all in one read
    double volts;       // at the terminals then
};

class SupplyTest : public ::testing::TestWithParam<SupplyCase>
{
};

TEST_P(SupplyTest, MeterReads)
{
    const SupplyCase &c = GetParam();
    Simulator sim = onSupply(c.supply);
    sim.received(c.frames, {}, kStart, {});
    EXPECT_NEAR(sim.terminalVolts(kStart), c.volts, 1e-6);
}

// CC in 10 mA (63xxxx), CR in 0.1 ohm (65), CP in 0.1 W (64), CV in 10 mV (62); 6600FF on.
const SupplyCase kCases[] = {
    {"InputOff", "12,2.5", "6300FB", 12.0},
    {"CcWithinTheLimit", "12,2.5", "6300646600FF", 11.99},
    {"CcAtTheLimit", "12,2.5,cc", "6300FA6600FF", 11.975},
    {"CcJustAboveTheLimit", "12,2.5", "6300FB6600FF", 0.0},
    {"CrWithinTheLimit", "12,2.5", "6500646600FF", 12.0 * 10.0 / 10.01},
    {"CrHeldAtTheLimit", "12,2.5", "6500146600FF", 2.5 * 2.0},
    {"CpWithinTheLimit", "12,2.5", "64012B6600FF", 11.975031},
    {"CpAboveTheLimit", "12,2.5", "64012D6600FF", 0.0},
    {"CvBelowTheLimitsVoltage", "12,2.5", "6201F46600FF", 5.0},
    {"HoldComesBackAtOnce", "12,2.5", "6300FB6600FF630064", 11.99},
    {"LatchAtTheLimit", "12,2.5,latch", "6300FA6600FF", 11.975},
    {"LatchTripsOnCr", "12,2.5,latch", "6500146600FF", 0.0},
    {"LatchTripsOnCv", "12,2.5,latch", "6201F46600FF", 0.0},
    {"LatchStaysTripped", "12,2.5,latch", "6300FB6600FF630064", 0.0},
};

INSTANTIATE_TEST_SUITE_P(Points, SupplyTest, ::testing::ValuesIn(kCases), CaseName());

TEST(Supply, LatchComesBackAfterASecondOfAskingNothing)
{
    const struct
    {
        int ms;
        const char *frames; // nullptr: only the meter reads
        double volts;
    } steps[] = {
        {0, "6300FB6600FF", 0.0}, // 2.51 A trips it
        {100, "66FFFF", 0.0},     // input off: quiet from here
        {600, "630064", 0.0},     // 1 A set, still off: still quiet
        {700, "6600FF", 0.0},     // asking for 1 A, the latch holding: not quiet
        {800, "66FFFF", 0.0},     // quiet again
        {1799, nullptr, 0.0},     // not yet a second
        {1800, nullptr, 12.0},    // a second: back
        {1900, "6600FF", 11.99},  // 1 A within the limit
        {2000, "6300FB", 0.0},    // tripped again
        {2100, "630000", 0.0},    // CC 0 with the input on asks for nothing too
        {3099, nullptr, 0.0},     //
        {3100, nullptr, 12.0},    //
    };
    Simulator sim = onSupply("12,2.5,latch");
    for (const auto &step : steps) {
        const Simulator::SteadyTime now = kStart + std::chrono::milliseconds(step.ms);
        if (step.frames != nullptr)
            sim.received(step.frames, {}, now, {});
        EXPECT_NEAR(sim.terminalVolts(now), step.volts, 1e-6) << step.ms << " ms";
    }
}

} // namespace
} // namespace rz417::sim
