#pragma once

#include "measure/RunEnd.h"
#include "program/ProgramRun.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace rz417::measure {

// A bench meter asked one query at a time.
class Meter
{
public:
    virtual ~Meter() = default;
    // The answer line without its end, or nothing with why: no answer within the meter's
    // timeout, a closed connection.
    virtual std::optional<std::string> ask(const std::string &query, std::string &why) = 0;
};

// Where a run's frames go: true once the frame was written whole.
class FrameOut
{
public:
    virtual ~FrameOut() = default;
    virtual bool send(const std::string &frame, const std::string &meaning) = 0;
};

// A measured run of any kind, in steps, for a driver that keeps its own time and asks the meter
// its own way: what goes out first, then a reading whenever nextDue() says, each counted, and
// what follows from it sent, until the run ends. It never waits, and never switches the input
// off: that is the driver's, and comes first whatever the end.
class MeasuredRun
{
public:
    virtual ~MeasuredRun() = default;

    // What goes out first; the end when a frame did not go out, or when stopped() said so
    // before anything went out (Interrupted, and nothing more is sent).
    virtual std::optional<RunResult> begin(FrameOut &out, const std::function<bool()> &stopped) = 0;
    // From the start: when the next reading is due.
    virtual std::chrono::microseconds nextDue() const = 0;
    // Whether the meter is asked, and what.
    virtual bool metered() const = 0;
    virtual const std::string &query() const = 0;
    // Counts the reading taken at `at` from the start, with the meter's answer (nothing, with
    // why, when none came), and sends what follows from it; the end when the run ended.
    virtual std::optional<RunResult> take(const std::optional<std::string> &answer,
                                          const std::string &why, std::chrono::nanoseconds at,
                                          FrameOut &out) = 0;
    // The frame that begin() sends first, with its meaning, where it is known before the run
    // begins: a line that cannot be opened journals it as refused. Empty where a reading comes
    // first.
    virtual std::string firstFrame(std::string &meaning) const
    {
        meaning.clear();
        return {};
    }
    virtual long readings() const = 0;
    // The log's header, the last reading's row, and its figures on one line.
    virtual std::string logHeader() const = 0;
    virtual std::string logRow() const = 0;
    virtual std::string figuresLine() const = 0;
    // What a front end says at the end, and the summary as one JSON object for scripts (the
    // meter's identity where it answered).
    virtual RunEndWords endWords(const RunResult &result, bool inputWasOn, bool off) const = 0;
    virtual std::string summaryJson(const RunResult &result, bool off,
                                    const std::optional<std::string> &meterIdn) const = 0;
};

// Told every reading as it is counted, but the one that ends a run, which the driver tells it
// once the input is off: nothing is written between a stop and the off frame.
class ReadingSink
{
public:
    virtual ~ReadingSink() = default;
    // False with why when the reading could not be kept (a log that cannot be written): the run
    // ends.
    virtual bool reading(const MeasuredRun &run, std::string &why) = 0;
};

// Runs a measured run on the caller's thread, waiting with the sleeper between readings and
// asking the meter in place.
RunResult runMeasured(MeasuredRun &run, Meter *meter, FrameOut &out, Clock &clock, Sleeper &sleeper,
                      ReadingSink &sink);

} // namespace rz417::measure
