#include "battery/BatteryRun.h"

#include "protocol/Modes.h"
#include "support/RunFakes.h"

#include <gtest/gtest.h>

#include <vector>

namespace rz417::battery {
namespace {

using namespace std::chrono_literals;

using fakes::FakeTime;
using fakes::ScriptedMeter;

struct Recorder : FrameOut, measure::ReadingSink
{
    bool send(const std::string &frame, const std::string &) override
    {
        if (frames.size() == failAt)
            return false;
        frames.push_back(frame);
        return true;
    }
    bool reading(const measure::MeasuredRun &run, std::string &why) override
    {
        if (seconds.size() == logFailAt) {
            why = "run.csv: cannot be written (No space left on device)";
            return false;
        }
        seconds.push_back(static_cast<const DischargeRun &>(run).discharge().last().seconds);
        return true;
    }
    std::size_t failAt = 99;
    std::size_t logFailAt = 99;
    std::vector<std::string> frames;
    std::vector<double> seconds;
};

TEST(BatteryRun, ScheduleEndsAndWhy)
{
    const struct
    {
        const char *name;
        Stops stops;
        std::vector<std::string> answers; // empty: no meter
        int interruptAt;
        std::size_t failAt;
        DischargeEnd end;
        std::vector<double> readings; // seconds
        const char *why;
        std::chrono::milliseconds delay = 0ms; // the meter's, for each answer
        long skipped = 0;
        std::size_t logFailAt = 99;
    } rows[] = {
        {"by time, on the second",
         {{}, {}, {}, 3000},
         {},
         -1,
         99,
         DischargeEnd::Stopped,
         {0, 1, 2, 3},
         ""},
        {"by time, between readings",
         {{}, {}, {}, 2500},
         {},
         -1,
         99,
         DischargeEnd::Stopped,
         {0, 1, 2, 2.5},
         ""},
        {"by the cut-off",
         {3000, {}, {}, {}},
         {"+3.5E+00", "3.1", "2.9", "2.8"},
         -1,
         99,
         DischargeEnd::Stopped,
         {0, 1, 2, 3},
         ""},
        {"the meter goes silent",
         {3000, {}, {}, {}},
         {"3.5", "!"},
         -1,
         99,
         DischargeEnd::MeterFailed,
         {0},
         "no answer within 2 s"},
        {"the meter answers garbage",
         {3000, {}, {}, {}},
         {"3.5", "OVLD"},
         -1,
         99,
         DischargeEnd::MeterFailed,
         {0},
         "it answered 'OVLD', which is no number"},
        {"a signal", {{}, {}, {}, 9000}, {}, 2, 99, DischargeEnd::Interrupted, {0, 1}, ""},
        {"the setpoint does not go out",
         {{}, {}, {}, 9000},
         {},
         -1,
         0,
         DischargeEnd::LineFailed,
         {},
         "the setpoint did not go out"},
        {"the input-on frame does not go out",
         {{}, {}, {}, 9000},
         {},
         -1,
         1,
         DischargeEnd::LineFailed,
         {},
         "the input-on frame did not go out"},
        {"a slow meter: each reading when it came, the due times it passed skipped",
         {{}, {}, {}, 6000},
         {"3.9", "3.9", "3.9", "3.9", "3.9"},
         -1,
         99,
         DischargeEnd::Stopped,
         {1.5, 3.5, 5.5, 7.5},
         "",
         1500ms,
         3},
        {"a signal while the meter is asked",
         {{}, {}, {}, 9000},
         {"3.9", "S"},
         -1,
         99,
         DischargeEnd::Interrupted,
         {0},
         ""},
        {"a log that cannot be written",
         {{}, {}, {}, 9000},
         {},
         -1,
         99,
         DischargeEnd::LogFailed,
         {0, 1},
         "run.csv: cannot be written (No space left on device)",
         0ms,
         0,
         1},
    };
    for (const auto &row : rows) {
        FakeTime time;
        time.interruptAt = row.interruptAt;
        ScriptedMeter meter;
        meter.time = &time;
        meter.delay = row.delay;
        meter.answers = row.answers;
        Recorder recorder;
        recorder.failAt = row.failAt;
        recorder.logFailAt = row.logFailAt;
        DischargeRun run({ModeCodes::CC, 1000, 1000ms, "MEAS:VOLT:DC?"}, row.stops,
                         !row.answers.empty());
        const DischargeResult result = measure::runMeasured(
            run, row.answers.empty() ? nullptr : &meter, recorder, time, time, recorder);
        EXPECT_EQ(result.end, row.end) << row.name;
        EXPECT_EQ(result.why, row.why) << row.name;
        // The reading that ends a run is the caller's to tell, after the off frame.
        std::vector<double> counted = recorder.seconds;
        if (run.readings() > static_cast<long>(counted.size()))
            counted.push_back(run.discharge().last().seconds);
        EXPECT_EQ(counted, row.readings) << row.name;
        EXPECT_EQ(run.skipped(), row.skipped) << row.name;
        const std::vector<std::string> frames = row.failAt == 0 ? std::vector<std::string>{}
                                                : row.failAt == 1
                                                    ? std::vector<std::string>{"6703E8"}
                                                    : std::vector<std::string>{"6703E8", "6600FF"};
        EXPECT_EQ(recorder.frames, frames) << row.name;
    }
}

} // namespace
} // namespace rz417::battery
