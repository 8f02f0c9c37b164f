#pragma once

#include "battery/BatteryWords.h"
#include "battery/Discharge.h"
#include "measure/MeasuredRun.h"
#include "measure/RunEnd.h"
#include "program/ProgramRun.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace rz417::battery {

using Meter = measure::Meter;
using FrameOut = measure::FrameOut;
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
class DischargeRun : public measure::MeasuredRun
{
public:
    DischargeRun(const DischargePlan &plan, const Stops &stops, bool metered);

    // The setpoint and the input on; the end when one did not go out, or when stopped() said so
    // before the input went on (Interrupted, and nothing more is sent).
    std::optional<DischargeResult> begin(FrameOut &out,
                                         const std::function<bool()> &stopped = {}) override;
    // From the input going on: when the reading due is to be taken.
    std::chrono::microseconds nextDue() const override;
    // Counts the reading taken at `at` from the input going on, with the meter's answer (nothing,
    // with why, when none came); the answer is not looked at without a meter. A reading that
    // came after the next due time skips that time: the one after it is due next. The end when a
    // stop was met or the meter failed.
    std::optional<DischargeResult> reading(const std::optional<std::string> &answer,
                                           const std::string &why, std::chrono::nanoseconds at);

    // The reading, as a measured run takes it: a discharge sends nothing between readings.
    std::optional<DischargeResult> take(const std::optional<std::string> &answer,
                                        const std::string &why, std::chrono::nanoseconds at,
                                        FrameOut &out) override;

    const DischargePlan &plan() const { return m_plan; }
    bool metered() const override { return m_metered; }
    const std::string &query() const override { return m_plan.query; }
    const Discharge &discharge() const { return m_discharge; }
    // The time stop, where the test has one: a plot's time axis reaches it.
    std::optional<std::chrono::milliseconds> timeStop() const { return m_timeStop; }
    // How many readings were counted, and how many due times were skipped for late ones.
    std::string firstFrame(std::string &meaning) const override;
    long readings() const override { return m_discharge.readings(); }
    long skipped() const { return m_skipped; }
    std::string logHeader() const override;
    std::string logRow() const override;
    std::string figuresLine() const override;
    measure::RunEndWords endWords(const measure::RunResult &result, bool inputWasOn,
                                  bool off) const override;
    std::string summaryJson(const measure::RunResult &result, bool off,
                            const std::optional<std::string> &meterIdn) const override;

private:
    std::chrono::milliseconds dueAt(long index) const;

    DischargePlan m_plan;
    Discharge m_discharge;
    std::optional<std::chrono::milliseconds> m_timeStop;
    bool m_metered;
    long m_next = 0;
    long m_skipped = 0;
};

// The log's header and a row per reading, in the journal's locale-independent form.
const char *logHeader();
std::string logRow(const Sample &sample);
// A measured figure with its decimals, locale-free: "3.7123".
std::string figureText(double value, int decimals);
// A run's figures at its end, a line each: capacity and energy, the voltage, whether they were
// measured, readings skipped or bounded.
std::vector<std::string> figureLines(const DischargeRun &run);

} // namespace rz417::battery
