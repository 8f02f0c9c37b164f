#pragma once

#include "program/Program.h"
#include "program/RunClock.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace rz417 {

// A frame as it goes out, with what it tells the load ("CC 2.000 A", "input on").
struct StepFrame
{
    std::string frame;
    std::string meaning;
};

// The frames of a step, in the order they go out: the setpoint, then the input.
std::vector<StepFrame> stepFrames(const ProgramStep &step);

// Where a run's frames go: the serial line, the journal, a dry-run printout.
class FrameSender
{
public:
    virtual ~FrameSender() = default;
    // Sends one frame of step index (from 0) in pass (from 1). Returns the empty string when
    // the frame went out, or else the error text; a failed frame stops the run.
    virtual std::string send(const ProgramStep &step, std::size_t index, int pass,
                             const StepFrame &frame) = 0;
};

// One run of a program on an absolute schedule: step k of pass p starts at the run's start plus
// (p - 1) passes plus the dwells before k, so lateness of one step never shifts the next. The
// run holds no clock and never waits: the caller asks when the next step is due, waits for it
// (a sleeper in a terminal, a timer in the window) and calls advance().
class ProgramRun
{
public:
    // passes: how many times the list runs; 0 runs it until stop().
    ProgramRun(const Program &program, int passes);

    void start(SteadyTime now);
    // When the next step is due; nothing once the run has ended.
    std::optional<SteadyTime> nextDue() const;
    // Sends every step due at now, in order. Returns false when a frame failed: the run has
    // then ended at that step, and error() says why.
    bool advance(SteadyTime now, FrameSender &sender);
    // Ends the run where it is; nothing more is sent by it.
    void stop();

    bool running() const;
    bool finished() const; // every step of every pass went out
    const std::string &error() const;
    // The step last started (index from 0) and its pass (from 1); nothing before the first.
    std::optional<std::size_t> currentStep() const;
    int currentPass() const;
    int passes() const;

    // The moment the schedule counts from: step k of pass p is due here plus its offset.
    SteadyTime startedAt() const { return m_start; }
    std::chrono::milliseconds elapsed(SteadyTime now) const;
    // Until the last step's end; nothing for a run that goes on until stopped.
    std::optional<std::chrono::milliseconds> remaining(SteadyTime now) const;

private:
    const Program &m_program;
    int m_passes;
    SteadyTime m_start{};
    bool m_started = false;
    bool m_stopped = false;
    std::size_t m_next = 0; // the next step to send, counted over all passes
    std::optional<std::size_t> m_current;
    int m_currentPass = 0;
    std::string m_error;
};

// What a terminal run needs from outside: the time, and a wait that a signal can cut short; both
// in the run's clock (program/RunClock.h).
class Clock
{
public:
    virtual ~Clock() = default;
    virtual SteadyTime now() = 0;
};
// The run clock (runClockNow) as a Clock.
struct RunClock : Clock
{
    SteadyTime now() override { return runClockNow(); }
};

class Sleeper
{
public:
    virtual ~Sleeper() = default;
    // Waits until the time; false when interrupted before it.
    virtual bool sleepUntil(SteadyTime until) = 0;
    // Whether a stop came (a signal): a caller that did not wait looks before it acts.
    virtual bool interrupted() const { return false; }
};

enum class RunEnd { Finished, Interrupted, Failed };

// Runs a started run to its end: waits for each step with the sleeper and sends it. A wait cut
// short ends the run as Interrupted; a failed frame as Failed (run.error() says why). Either
// way nothing more is sent by it: switching the input off is the caller's affair.
RunEnd runToEnd(ProgramRun &run, Clock &clock, Sleeper &sleeper, FrameSender &sender);

} // namespace rz417
