#pragma once

#include "battery/BatteryWords.h"
#include "battery/Discharge.h"
#include "measure/RunEnd.h"
#include "program/ProgramRun.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

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

// Told every reading, as it is counted (the one that ends a run, after the input went off).
class ReadingSink
{
public:
    virtual ~ReadingSink() = default;
    // False with why when the reading could not be kept (a log that cannot be written): the run
    // ends.
    virtual bool reading(const Sample &sample, std::string &why) = 0;
};

using DischargeEnd = measure::RunEnd;
using DischargeResult = measure::RunResult;

struct DischargePlan
{
    int16_t mode = 0;
    int32_t value = 0; // the setpoint in the mode's steps
    std::chrono::milliseconds interval{1000};
    std::string query = kDefaultMeterQuery;
};

// The setpoint as a discharge counts it, as it went out: amperes (above the low range in
// 0.01 A steps), watts or ohms.
double setpointUnits(int16_t mode, int32_t value);

// A discharge in steps, for a caller that keeps its own time and asks the meter its own way: the
// setpoint and the input on, then a reading at every interval from the input going on, on an
// absolute schedule (and one at the time stop's own moment), each counted, until a stop is met
// or something ends it. Switching the input off is the caller's, and comes first whatever the
// end.
class DischargeRun
{
public:
    DischargeRun(const DischargePlan &plan, const Stops &stops, bool metered);

    // The setpoint and the input on; the end when one did not go out, or when stopped() said so
    // before the input went on (Interrupted, and nothing more is sent).
    std::optional<DischargeResult> begin(FrameOut &out, const std::function<bool()> &stopped = {});
    // From the input going on: when the reading due is to be taken.
    std::chrono::milliseconds nextDue() const;
    // Counts the reading taken at `at` from the input going on, with the meter's answer (nothing,
    // with why, when none came); the answer is not looked at without a meter. A reading that
    // came after the next due time skips that time: the one after it is due next. The end when a
    // stop was met or the meter failed.
    std::optional<DischargeResult> reading(const std::optional<std::string> &answer,
                                           const std::string &why, std::chrono::nanoseconds at);

    const DischargePlan &plan() const { return m_plan; }
    bool metered() const { return m_metered; }
    const Discharge &discharge() const { return m_discharge; }
    // How many readings were counted, and how many due times were skipped for late ones.
    long readings() const { return m_discharge.readings(); }
    long skipped() const { return m_skipped; }

private:
    std::chrono::milliseconds dueAt(long index) const;

    DischargePlan m_plan;
    Discharge m_discharge;
    std::optional<std::chrono::milliseconds> m_timeStop;
    bool m_metered;
    long m_next = 0;
    long m_skipped = 0;
};

// Runs a discharge on the caller's thread, waiting with the sleeper between readings. The sink is
// told every reading but the one that ended the run, which the caller tells it once the input is
// off: nothing is written between a stop and the off frame.
DischargeResult runDischarge(DischargeRun &run, Meter *meter, FrameOut &out, Clock &clock,
                             Sleeper &sleeper, ReadingSink &sink);

// The log's header and a row per reading, in the journal's locale-independent form.
const char *logHeader();
std::string logRow(const Sample &sample);
// A measured figure with its decimals, locale-free: "3.7123".
std::string figureText(double value, int decimals);
// A run's figures at its end, a line each: capacity and energy, the voltage, whether they were
// measured, readings skipped or bounded.
std::vector<std::string> figureLines(const DischargeRun &run);

} // namespace rz417::battery
