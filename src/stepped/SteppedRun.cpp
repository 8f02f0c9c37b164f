#include "stepped/SteppedRun.h"

#include "battery/BatteryRun.h"
#include "battery/Discharge.h"
#include "protocol/Frame.h"
#include "protocol/JsonText.h"
#include "protocol/Modes.h"
#include "protocol/SetpointValue.h"
#include "protocol/TimeText.h"

namespace rz417::stepped {

using battery::figureText;

std::string readSetpoint(int16_t mode, const std::string &text, std::optional<int32_t> &into)
{
    const ParsedSetpoint value = parseSetpoint(mode, text);
    if (!value.value)
        return value.error;
    into = *value.value;
    return {};
}

std::string readVolts(const std::string &text, std::optional<double> &into)
{
    std::string why;
    const auto mv = battery::parseVolts(text, why);
    if (!mv)
        return why;
    into = static_cast<double>(*mv) / 1000.0;
    return {};
}

const char *logHeader()
{
    return "time_s,step,setpoint,voltage_V,current_A,power_W";
}

namespace {

std::string optionalFigure(const std::optional<double> &value, int decimals)
{
    return value ? figureText(*value, decimals) : std::string();
}

double seconds(Micros us)
{
    return static_cast<double>(us.count()) / 1e6;
}

} // namespace

std::string logRow(const Point &p, int decimals)
{
    return figureText(p.seconds, 3) + ',' + std::to_string(p.step) + ',' +
           optionalFigure(p.setpoint, decimals) + ',' + figureText(p.volts, 4) + ',' +
           optionalFigure(p.amps, 4) + ',' + optionalFigure(p.watts, 3);
}

int32_t frameStep(int16_t mode, int32_t value)
{
    const ModeInfo *info = modeInfo(mode);
    return info && info->highFrameCode != 0 && value > info->lowRangeTop ? 10 : 1;
}

const char *figuresText(int16_t mode)
{
    if (mode == ModeCodes::CP)
        return "power commanded, voltage measured, current P/V";
    if (mode == ModeCodes::CR)
        return "resistance commanded, voltage measured, current V/R";
    return "current commanded, voltage measured";
}

std::string jsonNumber(const std::optional<double> &value, int decimals)
{
    return value ? figureText(*value, decimals) : std::string("null");
}

const char *commonStop(measure::RunEnd end)
{
    const char *word = measure::endWord(end);
    return word ? word : "end";
}

SteppedRun::SteppedRun(int16_t mode, const MeterSetup &setup) : m_mode(mode), m_query(setup.query)
{
}

std::optional<measure::RunResult> SteppedRun::begin(measure::FrameOut &out,
                                                    const std::function<bool()> &stopped)
{
    if (stopped && stopped())
        return measure::RunResult{measure::RunEnd::Interrupted, {}};
    // The first reading is the source's own voltage, whatever the input was left at before.
    if (!out.send(inputFrame(false), inputMeaning(false)))
        return measure::RunResult{measure::RunEnd::LineFailed,
                                  "the input-off frame did not go out"};
    return std::nullopt;
}

std::optional<double> SteppedRun::openVolts() const
{
    if (m_points.empty())
        return std::nullopt;
    return m_points.front().volts;
}

double SteppedRun::units(int32_t value) const
{
    return battery::setpointUnits(m_mode, value);
}

double SteppedRun::setpointUnits() const
{
    return units(m_value);
}

std::optional<measure::RunResult> SteppedRun::take(const std::optional<std::string> &answer,
                                                   const std::string &why,
                                                   std::chrono::nanoseconds at,
                                                   measure::FrameOut &out)
{
    const std::optional<double> volts = answer ? battery::parseReading(*answer) : std::nullopt;
    if (!volts)
        return measure::RunResult{
            measure::RunEnd::MeterFailed,
            answer ? "it answered " + quotedWord(*answer) + ", which is no number" : why};
    // Rounded up: a step's dwell counts from after its frame, never before.
    m_now = std::chrono::ceil<Micros>(at);
    Point point;
    point.step = m_on ? m_step : 0;
    point.volts = *volts;
    // A reading before the input went on is timed from when it was asked.
    point.seconds = m_onAt ? seconds(m_now - *m_onAt) : seconds(m_due - m_now);
    if (m_on) {
        point.setpoint = setpointUnits();
        const battery::Counted counted = battery::countReading(m_mode, *point.setpoint, volts);
        point.amps = counted.amps;
        point.watts = counted.watts;
    } else {
        point.amps = 0.0;
        point.watts = 0.0;
    }
    m_points.push_back(point);
    m_asked.push_back(m_due);
    return reading(m_points.back(), m_now, out);
}

bool SteppedRun::sendSetpoint(int32_t value, measure::FrameOut &out)
{
    if (!out.send(setpointFrame(m_mode, value), setpointMeaning(m_mode, value)))
        return false;
    m_value = value;
    ++m_step;
    if (m_on)
        return true;
    if (!out.send(inputFrame(true), inputMeaning(true)))
        return false;
    m_on = true;
    if (!m_onAt) {
        m_onAt = m_now;
        for (std::size_t i = 0; i < m_points.size(); ++i)
            m_points[i].seconds = seconds(m_asked[i] - *m_onAt);
    }
    return true;
}

bool SteppedRun::switchOff(measure::FrameOut &out)
{
    if (!out.send(inputFrame(false), inputMeaning(false)))
        return false;
    m_on = false;
    return true;
}

measure::RunResult SteppedRun::lineFailed()
{
    return {measure::RunEnd::LineFailed, "a frame did not go out"};
}

std::string SteppedRun::logHeader() const
{
    return stepped::logHeader();
}

std::string SteppedRun::logRow() const
{
    return m_points.empty() ? std::string()
                            : stepped::logRow(m_points.back(), modeInfo(m_mode)->decimals);
}

std::string SteppedRun::figuresLine() const
{
    if (m_points.empty())
        return {};
    const Point &p = m_points.back();
    const ModeInfo *info = modeInfo(m_mode);
    std::string line = durationText(p.seconds < 0 ? 0.0 : p.seconds);
    if (p.setpoint)
        line += "  step " + std::to_string(p.step) + "  " +
                figureText(*p.setpoint, info->decimals) + " " + info->unitText;
    else
        line += "  input off";
    line += "  " + figureText(p.volts, 3) + " V";
    if (p.setpoint && p.amps && p.watts)
        line += "  " + figureText(*p.amps, 3) + " A  " + figureText(*p.watts, 2) + " W";
    return line;
}

measure::RunEndWords SteppedRun::baseWords(const measure::RunResult &result, bool inputWasOn,
                                           bool off) const
{
    measure::RunEndWords words;
    words.result = result;
    words.lead = std::string("figures: ") + figuresText(m_mode);
    const double last = m_points.empty() ? 0.0 : m_points.back().seconds;
    words.after = durationText(last < 0 ? 0.0 : last);
    // A test that switched the input off itself still says so.
    words.inputWasOn = inputWasOn || m_onAt.has_value();
    words.off = off;
    return words;
}

std::string SteppedRun::jsonHead(const char *test, const char *stoppedBy,
                                 const measure::RunResult &result, bool off,
                                 const std::optional<std::string> &meterIdn) const
{
    const double last = m_points.empty() ? 0.0 : m_points.back().seconds;
    return std::string("{\"test\":\"") + test + "\",\"stopped_by\":\"" + stoppedBy +
           "\",\"why\":" + jsonString(result.why) +
           ",\"figures\":" + jsonString(figuresText(m_mode)) +
           ",\"duration_s\":" + figureText(last < 0 ? 0.0 : last, 3) +
           ",\"readings\":" + std::to_string(readings()) +
           ",\"meter_idn\":" + (meterIdn ? jsonString(*meterIdn) : std::string("null")) +
           ",\"input_off\":" + (off ? "true" : "false");
}

} // namespace rz417::stepped
