#include "panel/FrameEncoder.h"
#include "support/PanelHarness.h"

#include <gtest/gtest.h>

namespace rz417::test {
namespace {

struct FrameCase
{
    int16_t ch;
    int32_t value; // the entry of the selected mode, or OutputOn for Ch 5
    const char *frame;
};

PanelState stateFor(const FrameCase &c)
{
    PanelState s;
    if (c.ch == kOutputSelector)
        s.OutputOn = c.value != 0;
    else
        setEntry(s, c.ch, c.value);
    return s;
}

TEST(FrameEncoder, EveryCommandAndTheCurrentRanges)
{
    const FrameCase cases[] = {
        {1, 1234, "6204D2"},  {1, 6300, "62189C"},  {1, 100, "620064"},   {1, 5, "620005"},
        {1, 0, "620000"},     {1, 6309, "6218A5"},  {2, 500, "6701F4"},   {2, 1000, "6703E8"},
        {2, 15, "67000F"},    {2, 16, "670010"},    {2, 0, "670000"},     {2, 1001, "630064"},
        {2, 1005, "630064"},  {2, 1015, "630066"},  {2, 1006, "630065"},  {2, 1014, "630065"},
        {2, 1025, "630066"},  {2, 12340, "6304D2"}, {2, 12345, "6304D2"}, {2, 12355, "6304D4"},
        {2, 15000, "6305DC"}, {2, 15009, "6305DD"}, {3, 2000, "6407D0"},  {3, 125, "64007D"},
        {3, 2009, "6407D9"},  {4, 9999, "65270F"},  {4, 10, "65000A"},    {4, 4095, "650FFF"},
        {4, 4096, "651000"},  {5, 1, "6600FF"},     {5, 0, "66FFFF"},     {0, 0, ""},
        {6, 0, ""},           {-1, 0, ""},
    };
    for (const FrameCase &c : cases)
        EXPECT_EQ(encodeFrame(c.ch, stateFor(c)), c.frame) << "Ch " << c.ch << " value " << c.value;
}

TEST(FrameEncoder, FramesAreSixUpperCaseHexCharacters)
{
    for (int16_t ch = 1; ch <= 5; ++ch) {
        for (int32_t v : {0, 1, 9, 10, 15, 255, 256, 4095, 4096, 9999}) {
            const std::string f = encodeFrame(ch, stateFor({ch, v, ""}));
            ASSERT_EQ(f.size(), 6u) << f;
            EXPECT_EQ(f.find_first_not_of("0123456789ABCDEF"), std::string::npos) << f;
        }
    }
}

TEST(DataTransfer, RecordsTheSentEntryNotTheFrameValue)
{
    PanelHarness h;
    h.pressAll("CC 1 2 3 5 5 Enter");
    EXPECT_EQ(h.comm.frames.back(), "6304D4");
    EXPECT_EQ(h.panel.state().SentCurrent, 12355);
}

TEST(DataTransfer, OtherSelectorsWriteTheEmptyStringAndChangeNoField)
{
    for (int16_t ch : {int16_t{0}, int16_t{6}, int16_t{-3}, int16_t{100}}) {
        PanelHarness h;
        h.pressAll("1 2 3");
        const PanelState before = h.panel.state();
        EXPECT_FALSE(h.panel.DataTransfer(ch));
        EXPECT_EQ(h.comm.writes, std::vector<std::string>{"Output="});
        EXPECT_TRUE(h.comm.frames.empty());
        EXPECT_EQ(h.panel.state().SentVoltage, before.SentVoltage);
        EXPECT_EQ(h.panel.state().VoltageEntry, before.VoltageEntry);
    }
}

TEST(DataTransfer, OutputCommandChangesNoSentValue)
{
    PanelHarness h;
    h.pressAll("1 2 Output");
    EXPECT_EQ(h.panel.state().SentVoltage, 0);
    EXPECT_EQ(h.panel.state().VoltageEntry, 12);
}

} // namespace
} // namespace rz417::test
