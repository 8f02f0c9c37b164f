#pragma once

#include "battery/BatteryWords.h"
#include "battery/MeterParameters.h"
#include "measure/MeasuredRun.h"
#include "measure/Parameters.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace rz417::stepped {

// A stepped test's times from its start: finer than the milliseconds of its parameters, so that
// a dwell counts from its frame to the microsecond.
using Micros = std::chrono::microseconds;

// What every stepped test takes besides its own parameters: the meter, which all of them need,
// its query, the CSV log.
struct MeterSetup
{
    std::optional<battery::MeterAddress> meter;
    std::string query = battery::kDefaultMeterQuery;
    std::string log;
};

std::string readSetpoint(int16_t mode, const std::string &text, std::optional<int32_t> &into);
std::string readVolts(const std::string &text, std::optional<double> &into);

// One reading as the log has it. The setpoint is the one that went out, in the mode's unit;
// current and power are counted from it and the measured voltage.
struct Point
{
    double seconds = 0; // from the first input-on; below 0 for a reading before it
    int step = 0;       // 0 with the input off, then counting setpoints from 1
    std::optional<double> setpoint;
    double volts = 0;
    std::optional<double> amps;
    std::optional<double> watts;
};

// The log's header, and a reading's row; the setpoint with its mode's decimals.
const char *logHeader();
std::string logRow(const Point &point, int decimals);

// The step of a setpoint's frame at a value, in the mode's steps: above 1 A a CC frame carries
// 0.01 A, below it 0.001 A; the other modes their one step.
int32_t frameStep(int16_t mode, int32_t value);

// A test that steps the load's setpoint and reads the meter after each step. The input goes off
// first, and the first reading is taken so. A kind says what each reading means and what goes out after it;
// this keeps the readings, their times and their rows.
class SteppedRun : public measure::MeasuredRun
{
public:
    SteppedRun(int16_t mode, const MeterSetup &setup);

    std::optional<measure::RunResult> begin(measure::FrameOut &out,
                                            const std::function<bool()> &stopped) override;
    std::chrono::microseconds nextDue() const override { return m_due; }
    bool metered() const override { return true; }
    const std::string &query() const override { return m_query; }
    std::optional<measure::RunResult> take(const std::optional<std::string> &answer,
                                           const std::string &why, std::chrono::nanoseconds at,
                                           measure::FrameOut &out) override;
    long readings() const override { return static_cast<long>(m_points.size()); }
    std::string logHeader() const override;
    std::string logRow() const override;
    std::string figuresLine() const override;

    int16_t mode() const { return m_mode; }
    const std::vector<Point> &points() const { return m_points; }
    // The open-circuit (no-load) voltage, once read.
    std::optional<double> openVolts() const;
    bool inputOn() const { return m_on; }
    // The setpoint sent last, in the mode's steps, and in its unit.
    int32_t setpointValue() const { return m_value; }
    double setpointUnits() const;

protected:
    // The reading just kept, at `at` from the start; what follows from it. Sets the next due
    // time through dueIn or dueAt, unless it ends the run.
    virtual std::optional<measure::RunResult> reading(const Point &point, Micros at,
                                                      measure::FrameOut &out) = 0;
    // The setpoint (and the input on if it is off), and the input off: false when a frame did
    // not go out.
    bool sendSetpoint(int32_t value, measure::FrameOut &out);
    bool switchOff(measure::FrameOut &out);
    void dueAt(Micros due) { m_due = due; }
    // A setpoint's frame as it went out, in the mode's unit.
    double units(int32_t value) const;
    // The end for a frame that did not go out.
    static measure::RunResult lineFailed();
    // The common end words: how long, the input, the lead line that says what the figures are.
    measure::RunEndWords baseWords(const measure::RunResult &result, bool inputWasOn,
                                   bool off) const;
    // The JSON fields every stepped test has, after "test": stopped_by, why, duration, the
    // meter, whether the input went off; the kind's own fields follow.
    std::string jsonHead(const char *test, const char *stoppedBy, const measure::RunResult &result,
                         bool off, const std::optional<std::string> &meterIdn) const;

private:
    int16_t m_mode;
    std::string m_query;
    std::vector<Point> m_points;
    std::vector<Micros> m_asked; // each reading's due time, from the start
    Micros m_now{0};             // the reading being taken: when it came
    Micros m_due{0};
    std::optional<Micros> m_onAt; // the first input-on, from the start
    int32_t m_value = 0;
    int m_step = 0;
    bool m_on = false;
    bool m_sent = false; // a setpoint went out
};

// What a stepped test's first summary line and its JSON say of its figures, by its mode:
// "current commanded, voltage measured".
const char *figuresText(int16_t mode);

// A JSON number with its decimals, or null.
std::string jsonNumber(const std::optional<double> &value, int decimals);
// What stopped_by says for an end that is not the kind's own; "end" for one that ran through.
const char *commonStop(measure::RunEnd end);

// The rows that read a setpoint in the setup's mode, a voltage, a time between steps.
template <class Setup, std::optional<int32_t> Setup::*field>
std::string takeSetpoint(const std::string &text, Setup &into)
{
    return readSetpoint(into.mode, text, into.*field);
}
template <class Setup, std::optional<double> Setup::*field>
std::string takeVolts(const std::string &text, Setup &into)
{
    return readVolts(text, into.*field);
}
template <class Setup, std::chrono::milliseconds Setup::*field>
std::string takeSeconds(const std::string &text, Setup &into)
{
    return battery::readSeconds(text, into.*field);
}

} // namespace rz417::stepped
