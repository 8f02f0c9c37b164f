#include "LoadState.h"

#include "CaseName.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace rz417::sim {
namespace {

Frame frameOf(const std::string &text)
{
    FrameDecoder decoder;
    auto frames = decoder.feed(text, FrameDecoder::Clock::time_point{});
    if (auto left = decoder.flush())
        frames.push_back(*left);
    EXPECT_EQ(frames.size(), 1U) << text;
    return frames.empty() ? Frame{} : frames.front();
}

struct MeaningCase
{
    const char *frame;
    const char *meaning;
    const char *value;
    const char *unit;
};

class FrameMeaningTest : public ::testing::TestWithParam<MeaningCase>
{
};

TEST_P(FrameMeaningTest, ReadsInUnits)
{
    const MeaningCase &c = GetParam();
    const Frame frame = frameOf(c.frame);
    EXPECT_EQ(frameMeaning(frame), c.meaning);
    EXPECT_EQ(frameValueText(frame), c.value);
    EXPECT_EQ(frameUnit(frame), c.unit);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, FrameMeaningTest,
    ::testing::Values(MeaningCase{"6204D2", "CV 12.34 V", "12.34", "V"},
                      MeaningCase{"62189C", "CV 63.00 V", "63.00", "V"},
                      MeaningCase{"630064", "CC 1.00 A (high range)", "1.00", "A"},
                      MeaningCase{"6304D2", "CC 12.34 A (high range)", "12.34", "A"},
                      MeaningCase{"6701F4", "CC 0.500 A (low range)", "0.500", "A"},
                      MeaningCase{"670007", "CC 0.007 A (low range)", "0.007", "A"},
                      MeaningCase{"6407D0", "CP 200.0 W", "200.0", "W"},
                      MeaningCase{"65000A", "CR 1.0 ohm", "1.0", "ohm"},
                      MeaningCase{"65270F", "CR 999.9 ohm", "999.9", "ohm"},
                      MeaningCase{"6600FF", "input ON", "", ""},
                      MeaningCase{"66FFFF", "input OFF", "", ""},
                      MeaningCase{"6204d2", "bad frame: lower-case hexadecimal digit: 'd'", "",
                                  ""}));

struct StateCase
{
    const char *name;
    std::vector<const char *> frames;
    Mode mode;
    bool inputOn;
    const char *cv;
    const char *cc;
    const char *cp;
    const char *cr;
};

class LoadStateTest : public ::testing::TestWithParam<StateCase>
{
};

TEST_P(LoadStateTest, FollowsTheFrames)
{
    const StateCase &c = GetParam();
    LoadState load;
    for (const char *text : c.frames)
        load.apply(frameOf(text));
    EXPECT_EQ(load.mode(), c.mode);
    EXPECT_EQ(load.inputOn(), c.inputOn);
    EXPECT_EQ(cvText(load.setpoints()), c.cv);
    EXPECT_EQ(ccText(load.setpoints()), c.cc);
    EXPECT_EQ(cpText(load.setpoints()), c.cp);
    EXPECT_EQ(crText(load.setpoints()), c.cr);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, LoadStateTest,
    ::testing::Values(
        StateCase{"Start", {}, Mode::None, false, "0.00 V", "0.000 A", "0.0 W", "0.0 ohm"},
        StateCase{"InputAloneSetsNoMode",
                  {"6600FF"},
                  Mode::None,
                  true,
                  "0.00 V",
                  "0.000 A",
                  "0.0 W",
                  "0.0 ohm"},
        StateCase{"LastSetpointPicksTheMode",
                  {"6204D2", "6701F4", "6407D0"},
                  Mode::Cp,
                  false,
                  "12.34 V",
                  "0.500 A",
                  "200.0 W",
                  "0.0 ohm"},
        StateCase{"EachModeKeepsItsOwnSetpoint",
                  {"6204D2", "65000A", "620064"},
                  Mode::Cv,
                  false,
                  "1.00 V",
                  "0.000 A",
                  "0.0 W",
                  "1.0 ohm"},
        StateCase{"HighRangeReplacesLowRange",
                  {"6701F4", "6304D2"},
                  Mode::Cc,
                  false,
                  "0.00 V",
                  "12.34 A",
                  "0.0 W",
                  "0.0 ohm"},
        StateCase{"LowRangeReplacesHighRange",
                  {"6304D2", "6701F4"},
                  Mode::Cc,
                  false,
                  "0.00 V",
                  "0.500 A",
                  "0.0 W",
                  "0.0 ohm"},
        StateCase{"InputOnThenOff",
                  {"6600FF", "6204D2", "66FFFF"},
                  Mode::Cv,
                  false,
                  "12.34 V",
                  "0.000 A",
                  "0.0 W",
                  "0.0 ohm"},
        StateCase{"InputStaysOnAcrossSetpoints",
                  {"6600FF", "6204D2", "65000A"},
                  Mode::Cr,
                  true,
                  "12.34 V",
                  "0.000 A",
                  "0.0 W",
                  "1.0 ohm"},
        StateCase{"BadFramesChangeNothing",
                  {"6204D2", "6600FF", "660000", "6304d2", "6800FF"},
                  Mode::Cv,
                  true,
                  "12.34 V",
                  "0.000 A",
                  "0.0 W",
                  "0.0 ohm"}),
    CaseName());

} // namespace
} // namespace rz417::sim
