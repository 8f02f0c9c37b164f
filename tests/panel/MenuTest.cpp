#include "support/PanelHarness.h"

#include <gtest/gtest.h>

namespace rz417::test {
namespace {

TEST(Menu, AboutAtAnyMomentChangesNothingAndWritesNothing)
{
    for (const char *keys : {"", "1 2", "CC 1 2 3 4", "Output", "CR 9 9 Output", "CP 5 Enter 6"}) {
        PanelHarness h;
        h.pressAll(keys);
        const PanelState before = h.panel.state();
        const auto captionsBefore = h.captions.latest;
        h.comm.writes.clear();
        h.platform.boxes.clear();

        h.panel.About_Click();

        ASSERT_EQ(h.platform.boxes.size(), 1u) << keys;
        const ShownBox &box = h.platform.boxes[0];
        EXPECT_EQ(box.title, "RZ-417 Information");
        EXPECT_EQ(box.style, BoxStyle::OkInformation);
        EXPECT_NE(box.text.find("RZ-417"), std::string::npos);
        EXPECT_NE(box.text.find("1.00"), std::string::npos);
        EXPECT_NE(box.text.find("QUENDA"), std::string::npos);
        EXPECT_TRUE(h.comm.writes.empty()) << keys;
        EXPECT_EQ(h.captions.latest, captionsBefore) << keys;
        const PanelState &after = h.panel.state();
        EXPECT_EQ(after.ModeCode, before.ModeCode);
        EXPECT_EQ(after.OutputOn, before.OutputOn);
        EXPECT_EQ(after.EntryDone, before.EntryDone);
        EXPECT_EQ(entryOf(after, after.ModeCode), entryOf(before, before.ModeCode));

        // The entry in progress carries on after the box.
        if (!before.EntryDone) {
            h.press("1");
            EXPECT_EQ(entryOf(h.panel.state(), before.ModeCode),
                      entryOf(before, before.ModeCode) * 10 + 1);
        }
    }
}

TEST(Menu, ExitEndsTheProgramAndSendsNothing)
{
    PanelHarness h;
    h.press("Output");
    h.comm.writes.clear();
    h.panel.Exit_Click();
    EXPECT_TRUE(h.platform.ended);
    EXPECT_TRUE(h.comm.writes.empty()) << "Exit does not switch the input off";
    EXPECT_TRUE(h.platform.boxes.empty());
}

} // namespace
} // namespace rz417::test
