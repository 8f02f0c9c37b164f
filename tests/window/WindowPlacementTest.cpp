#include "window/WindowPlacement.h"

#include <gtest/gtest.h>

using rz417::placeBeside;

namespace {

// The program window (720 x 600, at least 460 x 420) beside a 300 x 420 panel.
struct Row
{
    const char *what;
    QRect available;
    QRect panelFrame;
    QMargins decorations;
    QRect expected;
};

const Row kRows[] = {
    {"room on the right", {0, 0, 1400, 900}, {10, 10, 300, 420}, {}, {318, 10, 720, 600}},
    {"room on the left only", {0, 0, 1400, 900}, {1000, 40, 300, 420}, {}, {272, 40, 720, 600}},
    {"narrower on the right", {0, 0, 1024, 768}, {0, 0, 300, 420}, {}, {308, 0, 716, 600}},
    {"over the panel", {0, 0, 800, 600}, {100, 0, 300, 420}, {}, {80, 0, 720, 600}},
    {"a screen smaller than the window", {0, 0, 640, 480}, {0, 0, 300, 420}, {}, {0, 0, 640, 480}},
    {"below a panel low on the screen",
     {0, 0, 1400, 900},
     {0, 700, 300, 420},
     {},
     {308, 300, 720, 600}},
    {"a second screen to the left",
     {-1280, 0, 1280, 1024},
     {-1250, 30, 300, 420},
     {},
     {-942, 30, 720, 600}},
    {"under a taskbar and with a title bar",
     {0, 0, 1024, 728},
     {0, 0, 302, 450},
     {1, 28, 1, 1},
     {311, 28, 712, 600}},
};

TEST(WindowPlacement, BesideThePanelAndAlwaysOnTheScreen)
{
    for (const Row &row : kRows) {
        const QRect client =
            placeBeside(row.panelFrame, {720, 600}, {460, 420}, row.decorations, row.available);
        EXPECT_EQ(client, row.expected) << row.what;
        const QRect frame = client.marginsAdded(row.decorations);
        EXPECT_TRUE(row.available.contains(frame)) << row.what;
    }
}

} // namespace
