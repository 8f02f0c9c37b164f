#pragma once

#include "frames/FramePath.h"
#include "measure/RunEnd.h"
#include "program/ProgramRun.h"
#include "protocol/Frame.h"

#include <optional>
#include <string>

namespace rz417 {

// Where a run's frames go: the panel's frame path. Empty once the frame went out whole, and the
// panel then shows what it did to the load (shown, or what the frame itself says); else the
// line's error text.
class RunLine
{
public:
    virtual ~RunLine() = default;
    virtual std::string send(const std::string &frame, const std::string &meaning,
                             const FrameSource &from,
                             const std::optional<FrameEffect> &shown = {}) = 0;
};

// A meter's answer to a run's query, or why none came.
struct MeterReading
{
    std::optional<std::string> answer;
    std::string why;
};

// One run on the panel: a program, a battery test, and whatever test comes next. The panel holds
// at most one; it begins it, steps it when the window says it is due (with the meter's reading,
// for a run that reads one), and ends it, switching the input off first where the run asks.
class PanelRun
{
public:
    virtual ~PanelRun() = default;

    // What goes out first, the clock read once it went; the end when it did not start.
    virtual std::optional<measure::RunResult> begin(RunLine &line, Clock &clock) = 0;
    // When the next step or reading is due.
    virtual std::optional<SteadyTime> nextDue() const = 0;
    // The step due at now, or the reading taken at now; the end when the run ended.
    virtual std::optional<measure::RunResult> step(RunLine &line, SteadyTime now,
                                                   const MeterReading *reading) = 0;
    // Stopped from outside: by hand, a signal, a failure of the window's.
    virtual void stop() {}
    // What runs, for a sentence: "a program", "a battery test".
    virtual const char *what() const = 0;
    // Where its input-off frame is journaled.
    virtual FrameSource offSource() const = 0;
    // Whether an end of its own (a stop met, every step sent) switches the input off; a failure
    // and a stop from outside always do.
    virtual bool offWhenDone() const = 0;
    // Whether a stop from outside sends the input-off frame even where the panel holds the input
    // off; else only where it is or may be on.
    virtual bool offAtEveryStop() const { return false; }
};

} // namespace rz417
