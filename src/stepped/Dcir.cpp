#include "stepped/Dcir.h"

#include "battery/BatteryRun.h"
#include "battery/MeterParameters.h"
#include "protocol/Modes.h"
#include "protocol/SetpointValue.h"

namespace rz417::stepped {

using battery::figureText;
using measure::Field;
using Parameter = measure::Parameter<DcirSetup>;

namespace {

constexpr int kMostRepeats = 1000;

std::string takeRepeat(const std::string &text, DcirSetup &into)
{
    const Fixed n = parseFixed(text, 0, 0, kMostRepeats);
    if (n.error != FixedError::None || n.value < 1)
        return "{} takes a whole number of runs from 1 to 1000, not " + quotedWord(text);
    into.repeat = static_cast<int>(n.value);
    return {};
}

std::string refusal(const DcirSetup &s, measure::Naming naming)
{
    const auto &table = dcirParameters();
    const auto name = [&](std::size_t row) { return measure::parameterName(table[row], naming); };
    if (!s.low)
        return name(0) + " is needed: the current of the first step";
    if (!s.high)
        return name(1) + " is needed: the current of the second step";
    if (!s.meter)
        return name(6) + " is needed: the meter reads the battery's voltage";
    // Above 1 A a frame carries 0.01 A: compare the currents as they go out.
    if (battery::setpointUnits(ModeCodes::CC, *s.high) <=
        battery::setpointUnits(ModeCodes::CC, *s.low))
        return name(1) + " (" + fixedText(*s.high, 3) + " A) is not above " + name(0) + " (" +
               fixedText(*s.low, 3) + " A): the resistance comes from the step up";
    return {};
}

} // namespace

const std::vector<Parameter> &dcirParameters()
{
    static const std::vector<Parameter> table{
        {"low", "--low", "A", "amperes, e.g. 0.2", "the first step's current", "Low &current", "A",
         "", "", "", Field::Line, false, takeSetpoint<DcirSetup, &DcirSetup::low>},
        {"high", "--high", "A", "amperes, e.g. 1", "the second step's current, above --low",
         "&High current", "A", "", "", "", Field::Line, false,
         takeSetpoint<DcirSetup, &DcirSetup::high>},
        {"low_time", "--low-time", "SECONDS", "seconds, e.g. 10",
         "seconds at the low current; 10 by default", "Lo&w time", "s", "10", "", "", Field::Line,
         false, takeSeconds<DcirSetup, &DcirSetup::lowTime>},
        {"high_time", "--high-time", "SECONDS", "seconds, e.g. 1",
         "seconds at the high current; 1 by default", "Hi&gh time", "s", "1", "", "", Field::Line,
         false, takeSeconds<DcirSetup, &DcirSetup::highTime>},
        {"repeat", "--repeat", "N", "a number of runs",
         "measure N times (1 by default), each after the rest", "R&uns", "", "1", "", "",
         Field::Line, false, takeRepeat},
        {"rest", "--rest", "SECONDS", "seconds, e.g. 30",
         "seconds with the input off between runs; 30 by default", "&Rest", "s", "30", "", "",
         Field::Line, false, takeSeconds<DcirSetup, &DcirSetup::rest>},
        battery::meterParameter<DcirSetup, MeterSetup, &MeterSetup::meter>(
            "the meter on the battery: HOST:PORT (SCPI socket), serial:DEVICE[@BAUD]"),
        battery::queryParameter<DcirSetup>([](const std::string &text, DcirSetup &into) {
            return battery::readMeterQuery(text, into.query);
        }),
        battery::logParameter<DcirSetup, MeterSetup, &MeterSetup::log>(),
    };
    return table;
}

std::optional<DcirSetup> readDcirSetup(const measure::Texts &texts, measure::Naming naming,
                                       std::string &why)
{
    return measure::readSetup(dcirParameters(), texts, naming, why, DcirSetup{}, refusal);
}

DcirRun::DcirRun(const DcirSetup &setup) : SteppedRun(ModeCodes::CC, setup), m_setup(setup) {}

Micros DcirRun::phaseEnd(int run, Phase phase) const
{
    const auto start = m_origin + run * (m_setup.lowTime + m_setup.highTime + m_setup.rest);
    switch (phase) {
    case Phase::Rest:
        return start;
    case Phase::Low:
        return start + m_setup.lowTime;
    case Phase::High:
        break;
    }
    return start + m_setup.lowTime + m_setup.highTime;
}

std::optional<measure::RunResult> DcirRun::reading(const Point &point, Micros at,
                                                   measure::FrameOut &out)
{
    switch (m_phase) {
    case Phase::Rest:
        // The open-circuit reading, or the one that ends a rest: the low step follows.
        if (m_results.empty() && m_run == 0)
            m_origin = at;
        if (!sendSetpoint(*m_setup.low, out))
            return lineFailed();
        m_phase = Phase::Low;
        dueAt(phaseEnd(m_run, Phase::Low));
        return std::nullopt;
    case Phase::Low:
        m_lowVolts = point.volts;
        if (!sendSetpoint(*m_setup.high, out))
            return lineFailed();
        m_phase = Phase::High;
        dueAt(phaseEnd(m_run, Phase::High));
        return std::nullopt;
    case Phase::High:
        break;
    }
    if (!switchOff(out))
        return lineFailed();
    m_results.push_back(
        {m_lowVolts, point.volts, (m_lowVolts - point.volts) / (highAmps() - lowAmps())});
    if (static_cast<int>(m_results.size()) >= m_setup.repeat)
        return measure::RunResult{measure::RunEnd::Stopped, {}};
    ++m_run;
    m_phase = Phase::Rest;
    dueAt(phaseEnd(m_run, Phase::Rest));
    return std::nullopt;
}

std::optional<double> DcirRun::meanOhms() const
{
    if (m_results.empty())
        return std::nullopt;
    double sum = 0;
    for (const DcirResult &r : m_results)
        sum += r.ohms;
    return sum / static_cast<double>(m_results.size());
}

measure::RunEndWords DcirRun::endWords(const measure::RunResult &result, bool inputWasOn,
                                       bool off) const
{
    measure::RunEndWords words = baseWords(result, inputWasOn, off);
    if (const auto open = openVolts())
        words.figures.push_back("open-circuit voltage " + figureText(*open, 4) + " V");
    for (std::size_t i = 0; i < m_results.size(); ++i)
        words.figures.push_back(
            "run " + std::to_string(i + 1) + ": " + figureText(m_results[i].lowVolts, 4) +
            " V at " + figureText(lowAmps(), 3) + " A, " + figureText(m_results[i].highVolts, 4) +
            " V at " + figureText(highAmps(), 3) +
            " A: " + figureText(m_results[i].ohms * 1000.0, 2) + " mohm");
    if (const auto mean = meanOhms())
        words.figures.push_back("internal resistance " + figureText(*mean * 1000.0, 2) + " mohm" +
                                (m_results.size() > 1 ? ", the mean" : ""));
    return words;
}

std::string DcirRun::summaryJson(const measure::RunResult &result, bool off,
                                 const std::optional<std::string> &meterIdn) const
{
    std::string runs;
    for (const DcirResult &r : m_results)
        runs += std::string(runs.empty() ? "" : ",") + "{\"v_low\":" + figureText(r.lowVolts, 4) +
                ",\"v_high\":" + figureText(r.highVolts, 4) +
                ",\"resistance_ohm\":" + figureText(r.ohms, 6) + "}";
    return jsonHead("dcir", commonStop(result.end), result, off, meterIdn) +
           ",\"open_circuit_V\":" + jsonNumber(openVolts(), 4) +
           ",\"low_A\":" + figureText(lowAmps(), 3) + ",\"high_A\":" + figureText(highAmps(), 3) +
           ",\"resistance_ohm\":" + jsonNumber(meanOhms(), 6) + ",\"runs\":[" + runs + "]}";
}

} // namespace rz417::stepped
