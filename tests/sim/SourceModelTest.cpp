#include "SourceModel.h"

#include "CaseName.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace rz417::sim {
namespace {

void applyAll(LoadState &load, const std::vector<const char *> &frames)
{
    FrameDecoder decoder;
    for (const char *text : frames) {
        for (const Frame &frame : decoder.feed(text, FrameDecoder::Clock::time_point{}))
            load.apply(frame);
    }
}

struct PointCase
{
    const char *name;
    Source source;
    std::vector<const char *> frames;
    double volts;
    double amps;
    double watts;
    Limit limit;
};

class SettleTest : public ::testing::TestWithParam<PointCase>
{
};

TEST_P(SettleTest, FindsTheOperatingPoint)
{
    const PointCase &c = GetParam();
    LoadState load;
    applyAll(load, c.frames);
    const OperatingPoint point = settle(c.source, load);
    EXPECT_NEAR(point.volts, c.volts, 1e-3);
    EXPECT_NEAR(point.amps, c.amps, 1e-3);
    EXPECT_NEAR(point.watts, c.watts, 1e-3);
    EXPECT_EQ(point.limit, c.limit) << limitText(point.limit);

    // Whatever the mode, the point lies on the source's line and within the load's ratings.
    EXPECT_NEAR(point.volts, c.source.volts - c.source.ohms * point.amps, 1e-9);
    EXPECT_NEAR(point.watts, point.volts * point.amps, 1e-9);
    EXPECT_GE(point.amps, 0.0);
    EXPECT_LE(point.amps, 15.0 + 1e-9);
    EXPECT_LE(point.watts, 200.0 + 1e-9);
}

const Source kDefault{24.0, 0.5};

const PointCase kPoints[] = {
    {"InputOffDrawsNothing", kDefault, {"6204D2"}, 24.0, 0.0, 0.0, Limit::None},
    {"InputOffAfterOn", kDefault, {"6701F4", "6600FF", "66FFFF"}, 24.0, 0.0, 0.0, Limit::None},
    {"InputOnBeforeAnySetpoint", kDefault, {"6600FF"}, 24.0, 0.0, 0.0, Limit::NoMode},
    {"CcLowRange", kDefault, {"6701F4", "6600FF"}, 23.75, 0.5, 11.875, Limit::None},
    {"CcHighRange", kDefault, {"630064", "6600FF"}, 23.5, 1.0, 23.5, Limit::None},
    {"CcAtTheCurrentRating", {10.0, 0.1}, {"6305DC", "6600FF"}, 8.5, 15.0, 127.5, Limit::None},
    {"CcAboveTheCurrentRating",
     {10.0, 0.1},
     {"630640", "6600FF"},
     8.5,
     15.0,
     127.5,
     Limit::RatedCurrent},
    {"CcHeldBackByThePowerRating",
     kDefault,
     {"6304D2", "6600FF"},
     18.63325,
     10.73350,
     200.0,
     Limit::RatedPower},
    {"CcBeyondTheShortCircuitCurrent",
     {5.0, 1.0},
     {"6303E8", "6600FF"},
     0.0,
     5.0,
     0.0,
     Limit::Source},
    {"Cv", kDefault, {"6207D0", "6600FF"}, 20.0, 8.0, 160.0, Limit::None},
    {"CvAboveTheSourceDrawsNothing", kDefault, {"620BB8", "6600FF"}, 24.0, 0.0, 0.0, Limit::Source},
    {"CvHeldBackByTheCurrentRating",
     {12.0, 0.2},
     {"620190", "6600FF"},
     9.0,
     15.0,
     135.0,
     Limit::RatedCurrent},
    {"CvOnAnIdealSource",
     {12.0, 0.0},
     {"6201F4", "6600FF"},
     12.0,
     15.0,
     180.0,
     Limit::RatedCurrent},
    {"CvHeldBackByThePowerRating",
     kDefault,
     {"6204D2", "6600FF"},
     18.63325,
     10.73350,
     200.0,
     Limit::RatedPower},
    {"Cr", kDefault, {"650064", "6600FF"}, 22.857143, 2.285714, 52.244898, Limit::None},
    {"CrShort", {10.0, 0.5}, {"650000", "6600FF"}, 2.5, 15.0, 37.5, Limit::RatedCurrent},
    {"Cp", kDefault, {"6403E8", "6600FF"}, 21.695360, 4.609281, 100.0, Limit::None},
    {"CpOnAnIdealSource", {24.0, 0.0}, {"6403E8", "6600FF"}, 24.0, 4.166667, 100.0, Limit::None},
    {"CpAboveThePowerRating",
     kDefault,
     {"6407D9", "6600FF"},
     18.63325,
     10.73350,
     200.0,
     Limit::RatedPower},
    {"CpMoreThanTheSourceHas", {12.0, 1.0}, {"6401F4", "6600FF"}, 6.0, 6.0, 36.0, Limit::Source},
    {"LastSetpointIsTheActiveMode",
     kDefault,
     {"6207D0", "6701F4", "6600FF"},
     23.75,
     0.5,
     11.875,
     Limit::None},
};

INSTANTIATE_TEST_SUITE_P(Points, SettleTest, ::testing::ValuesIn(kPoints), CaseName());

TEST(SettleTest, TerminalsAboveTheVoltageRatingAreFlagged)
{
    LoadState load;
    applyAll(load, {"630064", "6600FF"});
    const OperatingPoint point = settle(Source{80.0, 0.0}, load);
    EXPECT_DOUBLE_EQ(point.volts, 80.0);
    EXPECT_DOUBLE_EQ(point.amps, 1.0);
    EXPECT_EQ(point.limit, Limit::RatedVoltage);
}

} // namespace
} // namespace rz417::sim
