// A battery test run by the panel: what goes out, what the panel shows, the keys while it runs,
// and every way it ends with the input switched off first.
#include "support/PanelHarness.h"

#include <gtest/gtest.h>

#include <sstream>

namespace rz417::test {
namespace {

using namespace std::chrono_literals;

struct FixedClock : Clock
{
    SteadyTime now() override { return SteadyTime{}; }
};

// Words: "start", "r3.5" (the meter answers 3.5), "r!" (no answer), "rOVLD", "fail" (writes
// fail from here on), "remote" (a client took the panel), "stop", or a key of the harness.
void play(PanelHarness &h, const std::string &script)
{
    std::istringstream words(script);
    FixedClock clock;
    for (std::string word; words >> word;) {
        if (word == "start") {
            battery::Stops stops;
            stops.cutoffMillivolts = 3000;
            startBattery(h.panel,
                         std::make_unique<battery::DischargeRun>(
                             battery::DischargePlan{ModeCodes::CC, 1000, 1000ms}, stops, true),
                         clock);
        } else if (word == "r!") {
            batteryReading(h.panel, std::nullopt, "no answer within 2 s", SteadyTime{});
        } else if (word[0] == 'r' && word != "remote") {
            batteryReading(h.panel, word.substr(1), {}, SteadyTime{});
        } else if (word == "fail") {
            h.comm.outputError = CommCodes::TxQueueFull;
        } else if (word == "remote") {
            h.panel.remoteRequest(scpi::RemoteRequest::Remote);
        } else if (word == "stop") {
            h.panel.stopRun();
        } else {
            h.press(word);
        }
    }
}

TEST(PanelBattery, ScriptsToFramesDisplayAndEnd)
{
    constexpr auto Stopped = battery::DischargeEnd::Stopped;
    constexpr auto ByHand = battery::DischargeEnd::Interrupted;
    constexpr auto Meter = battery::DischargeEnd::MeterFailed;
    constexpr auto Line = battery::DischargeEnd::LineFailed;
    const std::vector<std::string> onAndOff{"6703E8", "6600FF", "66FFFF"};
    const struct
    {
        const char *script;
        std::vector<std::string> frames;
        const char *display, *output;
        std::optional<battery::DischargeEnd> end; // nothing: still running, or never started
        std::size_t boxes;
    } rows[] = {
        {"start r3.5 r3.1 r2.9 r2.8", onAndOff, "01.00", "Output / OFF", Stopped, 0},
        {"start r3.5 r2.9 r3.0 r2.9", {"6703E8", "6600FF"}, "01.00", "Output /ON", {}, 0},
        {"start 5 CV Enter r3.5", {"6703E8", "6600FF"}, "01.00", "Output /ON", {}, 0},
        {"start r3.5 Output", onAndOff, "01.00", "Output / OFF", ByHand, 0},
        {"start stop Output",
         {"6703E8", "6600FF", "66FFFF", "6600FF"},
         "01.00",
         "Output /ON",
         ByHand,
         0},
        {"start r3.5 r!", onAndOff, "01.00", "Output / OFF", Meter, 0},
        {"start rOVLD", onAndOff, "01.00", "Output / OFF", Meter, 0},
        {"fail start", {}, "00.00", "Output / OFF", Line, 1},
        {"start r3.5 r2.9 fail r2.8", {"6703E8", "6600FF"}, "01.00", "Output /ON", Stopped, 1},
        {"remote start", {}, "00.00", "Output / OFF", {}, 0},
        {"CP 1 Enter Output start r3.0",
         {"640001", "6600FF", "6703E8", "6600FF"},
         "01.00",
         "Output /ON",
         {},
         0},
    };
    for (const auto &row : rows) {
        PanelHarness h;
        play(h, row.script);
        EXPECT_EQ(h.comm.frames, row.frames) << row.script;
        EXPECT_EQ(h.display(), row.display) << row.script;
        EXPECT_EQ(h.captions[Caption::OutputCommand], row.output) << row.script;
        EXPECT_EQ(h.panel.runEnd() ? std::optional(h.panel.runEnd()->end) : std::nullopt, row.end)
            << row.script;
        EXPECT_EQ(h.panel.runActive(), !row.end && batteryRun(h.panel)) << row.script;
        EXPECT_EQ(h.platform.boxes.size(), row.boxes) << row.script;
    }
}

} // namespace
} // namespace rz417::test
