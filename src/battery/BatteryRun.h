#pragma once

#include "battery/Discharge.h"
#include "program/ProgramRun.h"

#include <chrono>
#include <optional>
#include <string>

namespace rz417::battery {

// A bench meter asked one query at a time.
class Meter
{
public:
    virtual ~Meter() = default;
    // The answer line without its end, or nothing with why: no answer within the meter's
    // timeout, a closed connection.
    virtual std::optional<std::string> ask(const std::string &query, std::string &why) = 0;
};

// Where the run's frames go: true once the frame was written whole.
class FrameOut
{
public:
    virtual ~FrameOut() = default;
    virtual bool send(const std::string &frame, const std::string &meaning) = 0;
};

// Told every reading, as it is counted.
class ReadingSink
{
public:
    virtual ~ReadingSink() = default;
    virtual void reading(const Sample &sample) = 0;
};

enum class DischargeEnd {
    Stopped,     // a stop was met
    Interrupted, // a signal
    LineFailed,  // a frame did not go out
    MeterFailed, // no answer, or one that is not a number
};

struct DischargeResult
{
    DischargeEnd end = DischargeEnd::Stopped;
    std::string why; // LineFailed, MeterFailed
};

struct DischargePlan
{
    int16_t mode = 0;
    int32_t value = 0; // the setpoint in the mode's steps
    std::chrono::milliseconds interval{1000};
    std::string query = "MEAS:VOLT:DC?";
};

// Runs a discharge: the setpoint and the input on, then a reading at every interval from the
// input going on, on an absolute schedule (and one at the time stop's own moment), each counted,
// until a stop is met or something ends it. Switching the input off is the caller's, and comes
// first whatever the end.
DischargeResult runDischarge(const DischargePlan &plan, Discharge &discharge, Meter *meter,
                             FrameOut &out, Clock &clock, Sleeper &sleeper, ReadingSink &sink,
                             std::optional<std::chrono::milliseconds> timeStop);

} // namespace rz417::battery
