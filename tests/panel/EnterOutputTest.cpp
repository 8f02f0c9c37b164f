#include "link/CommErrorText.h"
#include "support/PanelHarness.h"

#include <gtest/gtest.h>

namespace rz417::test {
namespace {

using Frames = std::vector<std::string>;

TEST(EnterOutput, KeySequencesToFramesOnTheLine)
{
    struct Row
    {
        const char *keys;
        Frames frames;
    };
    const Row rows[] = {
        {"Enter", {"620000"}},
        {"1 2 3 4 Enter", {"6204D2"}},
        {"Enter Enter", {"620000", "620000"}},
        {"1 2 3 4 Enter Enter", {"6204D2", "6204D2"}},
        {"6 3 0 0 Enter", {"62189C"}},
        {"CC 5 0 0 Enter", {"6701F4"}},
        {"CC 1 0 0 0 Enter", {"6703E8"}},
        {"CC 1 0 0 1 Enter", {"630064"}},
        {"CC 1 2 3 5 5 Enter", {"6304D4"}},
        {"CP 2 0 0 0 Enter", {"6407D0"}},
        {"CR 1 0 Enter", {"65000A"}},
        {"CR 9 9 9 9 Enter", {"65270F"}},
        {"Output Output", {"6600FF", "66FFFF"}},
        {"Output CV Output", {"6600FF", "6600FF"}},
        // Enter while the input is off still sends the setpoint.
        {"Output Output 5 Enter", {"6600FF", "66FFFF", "620005"}},
        {"CV CC CP CR 1 2 3", {}},
    };
    for (const Row &row : rows) {
        PanelHarness h;
        h.pressAll(row.keys);
        EXPECT_EQ(h.comm.frames, row.frames) << row.keys;
    }
}

TEST(EnterOutput, EnterSetsEntryDoneAndKeepsTheDisplay)
{
    PanelHarness h;
    h.pressAll("1 2 3 4");
    EXPECT_FALSE(h.panel.state().EntryDone);
    h.press("Enter");
    EXPECT_TRUE(h.panel.state().EntryDone);
    EXPECT_EQ(h.display(), "12.34");
    EXPECT_EQ(h.panel.state().VoltageEntry, 1234);
    EXPECT_EQ(h.panel.state().SentVoltage, 1234);
}

TEST(EnterOutput, OutputCaptionFollowsEachPress)
{
    PanelHarness h;
    h.press("Output");
    EXPECT_TRUE(h.panel.state().OutputOn);
    EXPECT_EQ(h.captions[Caption::OutputCommand], "Output /ON");
    h.press("Output");
    EXPECT_FALSE(h.panel.state().OutputOn);
    EXPECT_EQ(h.captions[Caption::OutputCommand], "Output / OFF");
}

TEST(EnterOutput, FailedWritesAreReportedOncePerPressAndChangeNothingThatWasNotSent)
{
    struct Row
    {
        int16_t code;
        const char *text;
    };
    for (const Row row : {Row{CommCodes::NotOpen, "Device not Open"},
                          Row{CommCodes::TxQueueFull, "Tx queue is full"}}) {
        PanelHarness h;
        h.pressAll("1 2 3 4 Enter Output");
        h.comm.outputError = row.code;

        h.pressAll("5 6 Enter");
        ASSERT_EQ(h.platform.boxes.size(), 1u);
        EXPECT_EQ(h.platform.boxes[0].text, row.text);
        EXPECT_EQ(h.platform.boxes[0].title, kCommErrorTitle);
        EXPECT_EQ(h.platform.boxes[0].style, BoxStyle::OkExclamation);
        EXPECT_TRUE(h.panel.state().EntryDone) << "Enter finishes the entry even when it fails";
        EXPECT_EQ(h.panel.state().SentVoltage, 1234) << "56 never reached the instrument";

        h.press("Output");
        EXPECT_EQ(h.platform.boxes.size(), 2u);
        EXPECT_TRUE(h.panel.state().OutputOn) << "the instrument was not told to switch off";
        EXPECT_EQ(h.captions[Caption::OutputCommand], "Output /ON");

        // The mode button brings back what the instrument really has.
        h.press("CV");
        EXPECT_EQ(h.display(), "12.34");

        h.comm.outputError.reset();
        h.pressAll("Output 7 Enter");
        EXPECT_EQ(h.comm.frames, (Frames{"6204D2", "6600FF", "6600FF", "620007"}));
        EXPECT_EQ(h.platform.boxes.size(), 2u);
    }
}

// An input-on frame whose write failed may have reached the load in part, and its rest may
// follow: the caption says on, and Escape switches off even after a mode button showed off.
TEST(EnterOutput, FailedOutputOnShowsWhatMayBeTrueAndEscapeSwitchesItOff)
{
    const struct
    {
        const char *keys; // after a failed Output; the line works again
        Frames frames;
        const char *output;
    } rows[] = {
        {"", {}, "Output /ON"},
        {"Escape", {"66FFFF"}, "Output / OFF"},
        {"CV Escape", {"66FFFF"}, "Output / OFF"},
        {"Escape Escape", {"66FFFF"}, "Output / OFF"},
        {"Output", {"66FFFF"}, "Output / OFF"},
        {"Escape Output", {"66FFFF", "6600FF"}, "Output /ON"},
    };
    for (const auto &row : rows) {
        PanelHarness h;
        h.comm.outputError = CommCodes::TxQueueFull;
        h.press("Output");
        EXPECT_TRUE(h.panel.state().OutputOn) << row.keys;
        h.comm.outputError.reset();
        h.pressAll(row.keys);
        EXPECT_EQ(h.comm.frames, row.frames) << row.keys;
        EXPECT_EQ(h.captions[Caption::OutputCommand], row.output) << row.keys;
    }
}

} // namespace
} // namespace rz417::test
