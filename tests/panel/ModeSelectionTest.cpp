#include "panel/SetpointText.h"
#include "support/PanelHarness.h"

#include <gtest/gtest.h>

namespace rz417::test {
namespace {

TEST(ModeSelection, UnitRangeAndDisplayOfEachModeAfterStartup)
{
    struct Row
    {
        const char *button;
        int16_t mode;
        const char *display;
        const char *unit;
        const char *range;
    };
    const Row rows[] = {
        {"CV", 1, "00.00", "V", "Range : 0 to 63.00V"},
        {"CC", 2, "00.00", "A", "Range : 0 to 15.00A"},
        {"CP", 3, "000.0", "W", "Range : 0 to 200.0W"},
        {"CR", 4, "000.0", "\u03A9", "Range : 0 to 999.9\u03A9"},
    };
    for (const Row &row : rows) {
        PanelHarness h;
        h.press(row.button);
        EXPECT_EQ(h.panel.state().ModeCode, row.mode) << row.button;
        EXPECT_EQ(h.display(), row.display) << row.button;
        EXPECT_EQ(h.captions[Caption::ModeLabel], row.unit) << row.button;
        EXPECT_EQ(h.captions[Caption::RangeLabel], row.range) << row.button;
        EXPECT_EQ(h.captions[Caption::OutputCommand], "Output / OFF") << row.button;
        EXPECT_TRUE(h.panel.state().EntryDone) << row.button;
        EXPECT_TRUE(h.comm.writes.empty()) << row.button;
    }
}

TEST(ModeSelection, CaptionsAreWrittenInTheButtonsOrder)
{
    PanelHarness h;
    h.captions.log.clear();
    h.press("CP");
    ASSERT_EQ(h.captions.log.size(), 4u);
    EXPECT_EQ(h.captions.log[0].first, Caption::ModeLabel);
    EXPECT_EQ(h.captions.log[1].first, Caption::RangeLabel);
    EXPECT_EQ(h.captions.log[2].first, Caption::OutputCommand);
    EXPECT_EQ(h.captions.log[3].first, Caption::CValue);
}

// The mode button brings the last sent value back; its text for an entry of 0 in CC is 00.00.
TEST(ModeSelection, DisplayOfASentValue)
{
    struct Row
    {
        int16_t mode;
        int32_t entry;
        const char *text;
    };
    const Row rows[] = {
        {1, 0, "00.00"},    {1, 5, "00.05"},     {1, 50, "00.50"},    {1, 123, "01.23"},
        {1, 1230, "12.30"}, {1, 6300, "63.00"},  {2, 0, "00.00"},     {2, 5, "0.005"},
        {2, 50, "0.050"},   {2, 500, "0.500"},   {2, 1000, "01.00"},  {2, 1050, "01.05"},
        {2, 1234, "01.23"}, {2, 12300, "12.30"}, {2, 15009, "15.00"}, {3, 0, "000.0"},
        {3, 5, "000.5"},    {3, 95, "009.5"},    {3, 120, "012.0"},   {3, 995, "099.5"},
        {3, 2000, "200.0"}, {4, 0, "000.0"},     {4, 1, "000.1"},     {4, 9999, "999.9"},
    };
    for (const Row &row : rows)
        EXPECT_EQ(modeButtonText(row.mode, row.entry), row.text) << row.mode << " " << row.entry;
}

TEST(ModeSelection, SentValueComesBackAndKeyedDigitsAreDropped)
{
    PanelHarness h;
    h.pressAll("CV 1 2 3 4 Enter CP CV");
    EXPECT_EQ(h.display(), "12.34");
    EXPECT_EQ(h.panel.state().VoltageEntry, 1234);

    h.pressAll("5 6");
    EXPECT_EQ(h.display(), "00.56");
    h.press("CV");
    EXPECT_EQ(h.display(), "12.34");
    EXPECT_EQ(h.panel.state().VoltageEntry, 1234);
    h.press("7");
    EXPECT_EQ(h.display(), "00.07");

    h.pressAll("CC 1 2 3 4 Enter CR 5 CC");
    EXPECT_EQ(h.display(), "01.23");
    EXPECT_EQ(h.panel.state().CurrentEntry, 1234);

    // Digits keyed in one mode and never sent do not survive a round trip to another mode.
    h.pressAll("CP 9 9 CR CP");
    EXPECT_EQ(h.display(), "000.0");
    EXPECT_EQ(h.panel.state().PowerEntry, 0);
}

TEST(ModeSelection, ModeButtonTurnsTheOutputCaptionOffWithoutSending)
{
    PanelHarness h;
    h.press("Output");
    EXPECT_EQ(h.captions[Caption::OutputCommand], "Output /ON");
    h.comm.frames.clear();
    h.press("CC");
    EXPECT_EQ(h.captions[Caption::OutputCommand], "Output / OFF");
    EXPECT_FALSE(h.panel.state().OutputOn);
    EXPECT_TRUE(h.comm.frames.empty());
    h.press("Output");
    EXPECT_EQ(h.comm.frames, std::vector<std::string>{"6600FF"});
}

} // namespace
} // namespace rz417::test
