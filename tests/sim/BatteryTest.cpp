#include "Battery.h"
#include "Simulator.h"

#include <gtest/gtest.h>

namespace rz417::sim {
namespace {

TEST(Battery, Parameters)
{
    const struct
    {
        const char *text;
        bool ok;
        double capacity;
        int cells;
        double ohms;
    } rows[] = {
        {"2.5", true, 2.5, 1, 0.05},    {"0.01,3", true, 0.01, 3, 0.05},
        {"2,4,0.2", true, 2.0, 4, 0.2}, {"0", false, 0, 0, 0},
        {"2,0", false, 0, 0, 0},        {"2,1.5", false, 0, 0, 0},
        {"2,17", false, 0, 0, 0},       {"2,1,-1", false, 0, 0, 0},
        {"2,1,0.1,9", false, 0, 0, 0},  {"2Ah", false, 0, 0, 0},
    };
    for (const auto &row : rows) {
        BatteryParams params;
        ASSERT_EQ(parseBattery(row.text, params), row.ok) << row.text;
        if (!row.ok)
            continue;
        EXPECT_EQ(params.capacityAh, row.capacity) << row.text;
        EXPECT_EQ(params.cells, row.cells) << row.text;
        EXPECT_EQ(params.ohms, row.ohms) << row.text;
    }
}

TEST(Battery, DischargedByWhatTheLoadDraws)
{
    Battery battery({1.0, 2, 0.1});
    EXPECT_DOUBLE_EQ(battery.source().volts, 8.4);
    EXPECT_DOUBLE_EQ(battery.source().ohms, 0.1);
    // Half drawn: the flat middle; then near empty it falls steeply, and further past empty.
    battery.draw(1.0, 1800);
    EXPECT_NEAR(battery.source().volts, 2 * 3.82, 1e-9);
    battery.draw(1.0, 1620); // 95 % drawn
    EXPECT_NEAR(battery.source().volts, 2 * 3.45, 1e-9);
    battery.draw(1.0, 180);
    EXPECT_NEAR(battery.source().volts, 2 * 3.00, 1e-9);
    battery.draw(1.0, 3600);
    EXPECT_NEAR(battery.source().volts, 2 * 2.50, 1e-9);
    battery.draw(-1.0, 3600); // nothing flows back into it
    EXPECT_NEAR(battery.drawnAh(), 2.0, 1e-12);
}

TEST(Battery, TheSimulatedLoadDrawsItDown)
{
    using namespace std::chrono_literals;
    Simulator sim({24.0, 0.5}, false);
    const Simulator::SteadyTime t0{};
    sim.useBattery({1.0, 1, 0.0}, t0);
    EXPECT_DOUBLE_EQ(sim.terminalVolts(t0), 4.2);
    // CC 1.00 A (6300 64) and the input on: half an hour later half the charge is gone.
    sim.received("630064", {}, t0, {});
    sim.received("6600FF", {}, t0, {});
    EXPECT_NEAR(sim.terminalVolts(t0 + 1800s), 3.82, 1e-6);
    // With the input off nothing more is drawn.
    sim.received("66FFFF", {}, t0 + 1800s, {});
    EXPECT_NEAR(sim.terminalVolts(t0 + 3600s), 3.82, 1e-6);
}

} // namespace
} // namespace rz417::sim
