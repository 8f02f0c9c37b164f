// The run against a fake clock: the absolute schedule, repeats, and every way a run can end.
#include "program/ProgramRun.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace rz417 {
namespace {

using std::chrono::milliseconds;

const SteadyTime kT0{std::chrono::seconds(1000)};

// A clock that the sleeper moves: each wait arrives late by the next of a list of delays, and a
// wait can be made to fail (a signal).
class FakeTime : public Clock, public Sleeper
{
public:
    SteadyTime now() override { return m_now; }
    bool sleepUntil(SteadyTime until) override
    {
        if (interruptAtWait == waits++)
            return false;
        const milliseconds late = lateness.empty() ? milliseconds(0) : lateness.front();
        if (!lateness.empty())
            lateness.erase(lateness.begin());
        m_now = std::max(m_now, until + late);
        return true;
    }

    SteadyTime m_now = kT0;
    std::vector<milliseconds> lateness;
    int waits = 0;
    int interruptAtWait = -1;
};

// Records "ms pass.step frame" for every frame; fails the frame numbered failAt (from 0).
class Recorder : public FrameSender
{
public:
    explicit Recorder(Clock &clock) : m_clock(clock) {}
    std::string send(const ProgramStep &, std::size_t index, int pass,
                     const StepFrame &frame) override
    {
        if (failAt == static_cast<int>(log.size()))
            return "Device not Open";
        const auto ms = std::chrono::duration_cast<milliseconds>(
            m_clock.now() - kT0);
        log.push_back(std::to_string(ms.count()) + " " + std::to_string(pass) + "." +
                      std::to_string(index + 1) + " " + frame.frame);
        return {};
    }
    Clock &m_clock;
    std::vector<std::string> log;
    int failAt = -1;
};

const Program kPulses = parseProgram("mode,setpoint,input,dwell\nCC,0.5,on,0.1\nCC,2,,0.05\n"
                                     ",,off,0.2\n");

struct Case
{
    const char *name;
    int passes;
    std::vector<milliseconds> lateness;
    int interruptAtWait;
    int failAt;
    std::vector<std::string> frames;
    RunEnd end;
};

const std::vector<Case> kCases = {
    {"OnePass", 1, {}, -1, -1,
     {"0 1.1 6701F4", "0 1.1 6600FF", "100 1.2 6300C8", "150 1.3 66FFFF"}, RunEnd::Finished},
    // A step that starts late does not move the ones after it.
    {"LatenessDoesNotShiftTheSchedule", 1, {milliseconds(0), milliseconds(40)}, -1, -1,
     {"0 1.1 6701F4", "0 1.1 6600FF", "140 1.2 6300C8", "150 1.3 66FFFF"}, RunEnd::Finished},
    // So late that two steps are due at once: both go out, in order.
    {"OverdueStepsGoOutInOrder", 1, {milliseconds(0), milliseconds(60)}, -1, -1,
     {"0 1.1 6701F4", "0 1.1 6600FF", "160 1.2 6300C8", "160 1.3 66FFFF"}, RunEnd::Finished},
    {"Repeats", 2, {}, -1, -1,
     {"0 1.1 6701F4", "0 1.1 6600FF", "100 1.2 6300C8", "150 1.3 66FFFF", "350 2.1 6701F4",
      "350 2.1 6600FF", "450 2.2 6300C8", "500 2.3 66FFFF"},
     RunEnd::Finished},
    {"InterruptedBeforeTheFirstStep", 1, {}, 0, -1, {}, RunEnd::Interrupted},
    {"InterruptedWhileTheInputIsOn", 1, {}, 1, -1, {"0 1.1 6701F4", "0 1.1 6600FF"},
     RunEnd::Interrupted},
    {"InterruptedInTheSecondPass", 0, {}, 4, -1,
     {"0 1.1 6701F4", "0 1.1 6600FF", "100 1.2 6300C8", "150 1.3 66FFFF", "350 2.1 6701F4",
      "350 2.1 6600FF"},
     RunEnd::Interrupted},
    // The setpoint went out, its input frame did not.
    {"FailsWithinAStep", 1, {}, -1, 1, {"0 1.1 6701F4"}, RunEnd::Failed},
    {"FailsAfterTheInputWentOn", 1, {}, -1, 2, {"0 1.1 6701F4", "0 1.1 6600FF"},
     RunEnd::Failed},
};

class Run : public testing::TestWithParam<Case>
{
};

TEST_P(Run, SendsOnScheduleAndEndsAsItShould)
{
    const Case &c = GetParam();
    ASSERT_TRUE(kPulses.problems.empty());
    FakeTime time;
    time.lateness = c.lateness;
    time.interruptAtWait = c.interruptAtWait;
    Recorder recorder(time);
    recorder.failAt = c.failAt;
    ProgramRun run(kPulses, c.passes);
    run.start(time.now());
    EXPECT_EQ(runToEnd(run, time, time, recorder), c.end);
    EXPECT_EQ(recorder.log, c.frames);
    EXPECT_FALSE(run.running());
    EXPECT_FALSE(run.nextDue());
    EXPECT_EQ(run.error().empty(), c.end != RunEnd::Failed);
}

INSTANTIATE_TEST_SUITE_P(Table, Run, testing::ValuesIn(kCases),
                         [](const auto &row) { return std::string(row.param.name); });

TEST(RunProgress, ReportsStepPassAndTimes)
{
    FakeTime time;
    Recorder recorder(time);
    ProgramRun run(kPulses, 2);
    run.start(kT0);
    run.advance(kT0 + milliseconds(120), recorder);
    EXPECT_EQ(run.currentStep(), std::optional<std::size_t>(1));
    EXPECT_EQ(run.currentPass(), 1);
    EXPECT_EQ(run.elapsed(kT0 + milliseconds(120)), milliseconds(120));
    EXPECT_EQ(run.remaining(kT0 + milliseconds(120)), milliseconds(580));
    EXPECT_EQ(run.nextDue(), kT0 + milliseconds(150));
    run.advance(kT0 + milliseconds(400), recorder);
    EXPECT_EQ(run.currentPass(), 2);
    EXPECT_EQ(run.currentStep(), std::optional<std::size_t>(0));
    EXPECT_EQ(ProgramRun(kPulses, 0).remaining(kT0), std::nullopt);
}

TEST(RunProgress, AProgramOfNoLengthRunsOnceEvenForever)
{
    const Program once = parseProgram("input,dwell\noff,0\n");
    FakeTime time;
    Recorder recorder(time);
    ProgramRun run(once, 0);
    run.start(kT0);
    EXPECT_EQ(runToEnd(run, time, time, recorder), RunEnd::Finished);
    EXPECT_EQ(recorder.log, std::vector<std::string>{"0 1.1 66FFFF"});
}

} // namespace
} // namespace rz417
