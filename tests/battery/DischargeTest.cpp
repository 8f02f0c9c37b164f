#include "battery/Discharge.h"

#include "protocol/Modes.h"

#include <gtest/gtest.h>

#include <vector>

namespace rz417::battery {
namespace {

TEST(Discharge, CountsAndStops)
{
    using R = StopReason;
    const struct
    {
        const char *name;
        int16_t mode;
        double setpoint;
        Stops stops;
        std::vector<std::pair<double, std::optional<double>>> readings; // seconds, volts
        R stop;
        std::size_t stoppedAt; // the reading that met it, from 0
        double ampHours, wattHours;
    } rows[] = {
        {"cc without meter, by time",
         ModeCodes::CC,
         2.0,
         {{}, {}, {}, 3600000},
         {{0, {}}, {1800, {}}, {3600, {}}},
         R::Time,
         2,
         2.0,
         0.0},
        {"cc by capacity",
         ModeCodes::CC,
         1.0,
         {{}, 500000, {}, {}},
         {{0, 4.0}, {900, 3.9}, {1800, 3.8}, {2700, 3.7}},
         R::Capacity,
         2,
         0.5,
         1.95},
        {"cc by cut-off: two readings below it",
         ModeCodes::CC,
         1.0,
         {3000, {}, {}, {}},
         {{0, 3.2}, {1, 2.9}, {2, 3.1}, {3, 2.99}, {4, 2.8}},
         R::Cutoff,
         4,
         4 / 3600.0,
         (3.2 + 2 * 2.9 + 2 * 3.1 + 2 * 2.99 + 2.8) / 2 / 3600.0},
        {"cp without meter, by energy",
         ModeCodes::CP,
         10.0,
         {{}, {}, 5000, {}},
         {{0, {}}, {900, {}}, {1800, {}}},
         R::Energy,
         2,
         0.0,
         5.0},
        {"cp with meter: the current follows the voltage",
         ModeCodes::CP,
         8.0,
         {{}, {}, {}, 7200000},
         {{0, 4.0}, {3600, 4.0}, {7200, 2.0}},
         R::Time,
         2,
         2.0 + 3.0,
         16.0},
        {"cr: V/R and V²/R",
         ModeCodes::CR,
         4.0,
         {{}, {}, {}, 3600000},
         {{0, 4.0}, {3600, 4.0}},
         R::Time,
         1,
         1.0,
         4.0},
        {"cr: V/R, not R/V",
         ModeCodes::CR,
         2.0,
         {{}, {}, {}, 3600000},
         {{0, 4.0}, {3600, 4.0}},
         R::Time,
         1,
         2.0,
         8.0},
        {"cp near 0 V: no more than the load's 15 A",
         ModeCodes::CP,
         10.0,
         {{}, {}, {}, 3600000},
         {{0, 0.001}, {3600, 0.001}},
         R::Time,
         1,
         15.0,
         0.015},
        {"cr at 60 V over 1 ohm: no more than the load's 200 W",
         ModeCodes::CR,
         1.0,
         {{}, {}, {}, 3600000},
         {{0, 60.0}, {3600, 60.0}},
         R::Time,
         1,
         200.0 / 60,
         200.0},
        {"a time not yet reached",
         ModeCodes::CC,
         1.0,
         {{}, {}, {}, 10000},
         {{0, {}}, {9.9994, {}}},
         R::None,
         0,
         9.9994 / 3600,
         0.0},
    };
    for (const auto &row : rows) {
        Discharge d(row.mode, row.setpoint, row.stops);
        std::size_t stoppedAt = 0;
        for (std::size_t i = 0; i < row.readings.size(); ++i) {
            d.take(row.readings[i].first, row.readings[i].second);
            if (d.stopped() != R::None) {
                stoppedAt = i;
                break;
            }
        }
        EXPECT_EQ(d.stopped(), row.stop) << row.name;
        EXPECT_EQ(stoppedAt, row.stoppedAt) << row.name;
        EXPECT_NEAR(d.last().ampHours, row.ampHours, 1e-9) << row.name;
        EXPECT_NEAR(d.last().wattHours, row.wattHours, 1e-9) << row.name;
    }
}

TEST(Discharge, RefusesWhatCannotBeCounted)
{
    const Stops time{{}, {}, {}, 1000};
    const struct
    {
        int16_t mode;
        Stops stops;
        bool metered;
        const char *says; // empty: runs
    } rows[] = {
        {ModeCodes::CV, time, true, "does not run in CV"},
        {ModeCodes::CC, {}, true, "needs a stop"},
        {ModeCodes::CC, {3000, {}, {}, {}}, false, "--cutoff needs a meter"},
        {ModeCodes::CR, time, false, "cr needs a meter"},
        {ModeCodes::CC, {{}, {}, 1000, {}}, false, "--energy in cc needs a meter"},
        {ModeCodes::CP, {{}, 1000, {}, {}}, false, "--capacity in cp needs a meter"},
        {ModeCodes::CC, {{}, 1000, {}, {}}, false, ""},
        {ModeCodes::CP, {{}, {}, 1000, {}}, false, ""},
        {ModeCodes::CR, {3000, {}, {}, {}}, true, ""},
    };
    for (const auto &row : rows) {
        const std::string why = Discharge::refusal(row.mode, row.stops, row.metered);
        if (*row.says == '\0')
            EXPECT_TRUE(why.empty()) << why;
        else
            EXPECT_NE(why.find(row.says), std::string::npos) << why;
    }
}

} // namespace
} // namespace rz417::battery
