#include "stepped/Sweep.h"

#include "battery/BatteryRun.h"
#include "battery/MeterParameters.h"
#include "protocol/Modes.h"
#include "protocol/SetpointValue.h"

#include <algorithm>

namespace rz417::stepped {

using battery::figureText;
using measure::Field;
using Parameter = measure::Parameter<SweepSetup>;

namespace {

std::string takeMode(const std::string &text, SweepSetup &into)
{
    const ModeInfo *mode = modeByName(text);
    if (!mode || mode->code == ModeCodes::CV)
        return quotedWord(text) +
               " is not a mode to sweep: give cc, cp or cr (CV leaves the current unknown)";
    into.mode = mode->code;
    return {};
}

std::string valueText(int16_t mode, int32_t value)
{
    const ModeInfo *info = modeInfo(mode);
    return fixedText(value, info->decimals) + " " + info->unitText;
}

std::string refusal(const SweepSetup &s, measure::Naming naming)
{
    const auto &table = sweepParameters();
    if (!s.meter)
        return measure::parameterName(table[7], naming) +
               " is needed: the meter reads the voltage at each point";
    if (*s.step == 0)
        return measure::parameterName(table[3], naming) + " takes a step above 0, not " +
               valueText(s.mode, *s.step) + " (the sweep goes down where FROM is above TO)";
    return {};
}

} // namespace

const std::vector<Parameter> &sweepParameters()
{
    static const std::vector<Parameter> table{
        {"mode", "", "", "", "", "&Mode", "CC CP CR", "CC", "", "", Field::Choice, false, takeMode},
        {"from", "", "FROM", "", "", "&From", "", "0", "", "", Field::Setpoint, false,
         takeSetpoint<SweepSetup, &SweepSetup::from>},
        {"to", "", "TO", "", "", "T&o", "", "1", "", "", Field::Setpoint, false,
         takeSetpoint<SweepSetup, &SweepSetup::to>},
        {"step", "", "STEP", "", "", "Ste&p", "", "0.1", "", "", Field::Setpoint, false,
         takeSetpoint<SweepSetup, &SweepSetup::step>},
        {"dwell", "--dwell", "SECONDS", "seconds, e.g. 0.5",
         "seconds from a step to its reading, from 0.2; 0.5 by default", "&Dwell", "s", "0.5", "",
         "", Field::Line, false, takeSeconds<SweepSetup, &SweepSetup::dwell>},
        {"stop_below", "--stop-below", "V", "volts, e.g. 0.5",
         "end at the first reading below V: a cell past its short-circuit current", "Stop belo&w",
         "V", "", "", "", Field::Line, true, takeVolts<SweepSetup, &SweepSetup::stopBelow>},
        battery::logParameter<SweepSetup, MeterSetup, &MeterSetup::log>(),
        battery::meterParameter<SweepSetup, MeterSetup, &MeterSetup::meter>(
            "the meter on the source: HOST:PORT (SCPI socket), serial:DEVICE[@BAUD]"),
        battery::queryParameter<SweepSetup>([](const std::string &text, SweepSetup &into) {
            return battery::readMeterQuery(text, into.query);
        }),
    };
    return table;
}

std::optional<SweepSetup> readSweepSetup(const measure::Texts &texts, measure::Naming naming,
                                         std::string &why)
{
    return measure::readSetup(sweepParameters(), texts, naming, why, SweepSetup{}, refusal);
}

SweepRun::SweepRun(const SweepSetup &setup) : SteppedRun(setup.mode, setup), m_setup(setup) {}

std::optional<measure::RunResult> SweepRun::reading(const Point &point, Micros at,
                                                    measure::FrameOut &out)
{
    const int32_t to = *m_setup.to;
    if (!inputOn()) {
        if (!sendSetpoint(*m_setup.from, out))
            return lineFailed();
        dueAt(at + m_setup.dwell);
        return std::nullopt;
    }
    if (m_setup.stopBelow && point.volts < *m_setup.stopBelow) {
        m_fellBelow = true;
        return measure::RunResult{measure::RunEnd::Stopped, {}};
    }
    const int32_t now = setpointValue();
    if (now == to)
        return measure::RunResult{measure::RunEnd::Stopped, {}};
    const int32_t step = *m_setup.step;
    const int32_t next = *m_setup.from <= to ? std::min(now + step, to) : std::max(now - step, to);
    if (!sendSetpoint(next, out))
        return lineFailed();
    dueAt(at + m_setup.dwell);
    return std::nullopt;
}

long SweepRun::curvePoints() const
{
    return static_cast<long>(std::count_if(points().begin(), points().end(),
                                           [](const Point &p) { return p.setpoint.has_value(); }));
}

std::optional<Point> SweepRun::maxPowerPoint() const
{
    std::optional<Point> best;
    for (const Point &p : points()) {
        if (p.setpoint && p.watts && (!best || *p.watts > *best->watts))
            best = p;
    }
    return best;
}

std::optional<double> SweepRun::shortCircuitAmps() const
{
    const auto &all = points();
    if (!m_fellBelow || all.size() < 2)
        return std::nullopt;
    // The reading with the input off is the curve's open-circuit end, at no current.
    const Point &a = all[all.size() - 2];
    const Point &b = all.back();
    if (!a.amps || !b.amps || a.volts == b.volts)
        return b.amps;
    return *a.amps + (*m_setup.stopBelow - a.volts) * (*b.amps - *a.amps) / (b.volts - a.volts);
}

std::optional<double> SweepRun::fillFactor() const
{
    const auto mpp = maxPowerPoint();
    const auto isc = shortCircuitAmps();
    const auto voc = openVolts();
    if (!mpp || !isc || !voc || *isc <= 0 || *voc <= 0)
        return std::nullopt;
    return *mpp->watts / (*voc * *isc);
}

measure::RunEndWords SweepRun::endWords(const measure::RunResult &result, bool inputWasOn,
                                        bool off) const
{
    measure::RunEndWords words = baseWords(result, inputWasOn, off);
    if (m_fellBelow)
        words.stop = "a reading below " + figureText(*m_setup.stopBelow, 3) + " V";
    if (const auto open = openVolts())
        words.figures.push_back("open-circuit voltage " + figureText(*open, 3) + " V, " +
                                std::to_string(curvePoints()) + " points");
    if (const auto mpp = maxPowerPoint())
        words.figures.push_back("maximum power " + figureText(*mpp->watts, 3) + " W at " +
                                figureText(mpp->volts, 3) + " V, " + figureText(*mpp->amps, 3) +
                                " A");
    if (const auto isc = shortCircuitAmps())
        words.figures.push_back("short-circuit current " + figureText(*isc, 3) + " A");
    if (const auto ff = fillFactor())
        words.figures.push_back("fill factor " + figureText(*ff, 3));
    return words;
}

std::string SweepRun::summaryJson(const measure::RunResult &result, bool off,
                                  const std::optional<std::string> &meterIdn) const
{
    const char *stop = commonStop(result.end);
    if (result.end == measure::RunEnd::Stopped && m_fellBelow)
        stop = "stop-below";
    const auto mpp = maxPowerPoint();
    const ModeInfo *info = modeInfo(mode());
    std::string modeName = info->name;
    for (char &c : modeName)
        c = static_cast<char>(c - 'A' + 'a');
    return jsonHead("sweep", stop, result, off, meterIdn) + ",\"mode\":\"" + modeName +
           "\",\"points\":" + std::to_string(curvePoints()) +
           ",\"open_circuit_V\":" + jsonNumber(openVolts(), 4) +
           ",\"mpp_V\":" + jsonNumber(mpp ? std::optional<double>(mpp->volts) : std::nullopt, 4) +
           ",\"mpp_A\":" + jsonNumber(mpp ? mpp->amps : std::nullopt, 4) +
           ",\"mpp_W\":" + jsonNumber(mpp ? mpp->watts : std::nullopt, 4) +
           ",\"short_circuit_A\":" + jsonNumber(shortCircuitAmps(), 4) +
           ",\"fill_factor\":" + jsonNumber(fillFactor(), 4) + "}";
}

} // namespace rz417::stepped
