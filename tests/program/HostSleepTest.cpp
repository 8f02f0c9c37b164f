#include "program/HostSleep.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace rz417 {
namespace {

// Notes each call; hold() fails with why when given one.
class RecordingInhibitor : public SleepInhibitor
{
public:
    std::optional<std::string> hold() override
    {
        calls += "hold ";
        return why;
    }
    std::optional<std::string> release() override
    {
        calls += "release ";
        return std::nullopt;
    }
    std::string calls;
    std::optional<std::string> why;
};

// Events: s (a run started), e (it ended), 1 (the input may be on), 0 (it went off).
struct Row
{
    RunSleepHold::Until until;
    const char *events;
    const char *calls;
};

TEST(RunSleepHold, ARunHoldsSleepOffFromItsInputOnUntilItEndsAServerWhileOn)
{
    using Until = RunSleepHold::Until;
    const Row rows[] = {
        {Until::RunEnds, "s1e", "hold release "},
        // A program's input off and on again keeps it, once.
        {Until::RunEnds, "s1010e", "hold release "},
        {Until::RunEnds, "se", ""},
        // The panel's Output outside a run holds nothing; a run after it does.
        {Until::RunEnds, "10s1e", "hold release "},
        {Until::RunEnds, "1s", "hold "},
        {Until::RunEnds, "1s0e", "hold release "},
        {Until::RunEnds, "s1e1", "hold release "},
        {Until::RunEnds, "s1es1e", "hold release hold release "},
        {Until::InputOff, "101", "hold release hold "},
        {Until::InputOff, "0", ""},
    };
    for (const Row &row : rows) {
        RecordingInhibitor inhibitor;
        {
            RunSleepHold hold(inhibitor, row.until, nullptr);
            for (const char *e = row.events; *e; ++e) {
                switch (*e) {
                case 's':
                    hold.runStarted();
                    break;
                case 'e':
                    hold.runEnded();
                    break;
                default:
                    hold.inputChanged(*e == '1');
                }
            }
            EXPECT_EQ(inhibitor.calls, row.calls) << row.events;
        }
        // Whatever is held is let go when the hold goes.
        EXPECT_EQ(inhibitor.calls.rfind("hold ") == std::string::npos ||
                      inhibitor.calls.rfind("release ") > inhibitor.calls.rfind("hold "),
                  true)
            << row.events << ": " << inhibitor.calls;
    }
}

TEST(RunSleepHold, WhereSleepCannotBeHeldOffTheRunsAreToldOnce)
{
    RecordingInhibitor inhibitor;
    inhibitor.why = "no system bus";
    std::vector<std::string> told;
    RunSleepHold hold(inhibitor, RunSleepHold::Until::RunEnds,
                      [&](const std::string &why) { told.push_back(why); });
    for (int run = 0; run < 2; ++run) {
        hold.runStarted();
        hold.inputChanged(true);
        hold.runEnded();
    }
    EXPECT_EQ(told, std::vector<std::string>{"no system bus"});
}

} // namespace
} // namespace rz417
