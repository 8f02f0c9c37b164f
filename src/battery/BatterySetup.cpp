#include "battery/BatterySetup.h"

#include "battery/Discharge.h"
#include "battery/MeterParameters.h"
#include "protocol/JsonText.h"
#include "protocol/Modes.h"
#include "protocol/SetpointValue.h"
#include "protocol/TimeText.h"

namespace rz417::battery {

namespace {

using measure::Field;
using Parameter = measure::Parameter<Setup>;

std::string takeMode(const std::string &text, Setup &into)
{
    // CV is refused with the stops, once the whole test is known.
    const ModeInfo *mode = modeByName(text);
    if (!mode)
        return quotedWord(text) + " is not a mode: battery takes cc, cp or cr";
    into.plan.mode = mode->code;
    return {};
}

std::string takeValue(const std::string &text, Setup &into)
{
    const ParsedSetpoint value = parseSetpoint(into.plan.mode, text);
    if (!value.value)
        return value.error;
    into.plan.value = *value.value;
    return {};
}

// An optional stop read by its parser.
template <std::optional<int64_t> (*parse)(std::string_view, std::string &),
          std::optional<int64_t> Stops::*stop>
std::string takeStop(const std::string &text, Setup &into)
{
    std::string why;
    into.stops.*stop = parse(text, why);
    return (into.stops.*stop).has_value() ? std::string() : why;
}

std::string takeInterval(const std::string &text, Setup &into)
{
    return readSeconds(text, into.plan.interval);
}

} // namespace

const std::vector<Parameter> &parameters()
{
    static const std::vector<Parameter> table{
        {"mode", "", "", "", "", "&Mode", "CC CP CR", "CC", "", "", Field::Choice, false, takeMode},
        {"value", "", "", "", "", "&Value", "", "1", "", "", Field::Setpoint, false, takeValue},
        {"cutoff", "--cutoff", "V", "volts, e.g. 3.0",
         "stop at two readings in a row below V (needs --meter)", "C&ut-off", "V", "", "", "",
         Field::Line, true, takeStop<parseVolts, &Stops::cutoffMillivolts>},
        {"capacity", "--capacity", "AH", "ampere-hours, e.g. 2.5 or 2500mAh",
         "stop once AH were drawn: 2.5, 2500mAh", "Ca&pacity", "Ah", "", "", "", Field::Line, true,
         takeStop<parseCapacity, &Stops::capacityMicroAh>},
        {"energy", "--energy", "WH", "watt-hours, e.g. 10", "stop once WH were drawn: 10, 10Wh",
         "E&nergy", "Wh", "", "", "", Field::Line, true,
         takeStop<parseEnergy, &Stops::energyMilliWh>},
        {"time", "--time", "T", "a duration, e.g. 10, 45min or 1.5h",
         "stop after T: 10, 45min, 1.5h", "T&ime", "s, min or h", "", "", "", Field::Line, true,
         takeStop<parseDuration, &Stops::timeMs>},
        meterParameter<Setup, Setup, &Setup::meter>(
            "the meter: HOST:PORT (SCPI socket), serial:DEVICE[@BAUD]"),
        queryParameter<Setup>([](const std::string &text, Setup &into) {
            return readMeterQuery(text, into.plan.query);
        }),
        {"interval", "--interval", "S", "seconds, e.g. 1",
         "seconds between readings, from 0.2; 1 by default", "Interv&al", "s", "1", "", "",
         Field::Line, false, takeInterval},
        logParameter<Setup, Setup, &Setup::log>(),
    };
    return table;
}

std::optional<Setup> readSetup(const measure::Texts &texts, measure::Naming naming,
                               std::string &why)
{
    return measure::readSetup(
        parameters(), texts, naming, why, Setup{}, [](const Setup &setup, measure::Naming as) {
            return Discharge::refusal(setup.plan.mode, setup.stops, setup.meter.has_value(), as);
        });
}

std::string figuresLine(const Sample &s, const std::string &gap)
{
    std::string line = durationText(s.seconds);
    if (s.volts)
        line += gap + figureText(*s.volts, 3) + " V";
    if (s.amps)
        line += gap + figureText(*s.amps, 3) + " A";
    return line + gap + figureText(s.ampHours, 4) + " Ah" + gap + figureText(s.wattHours, 4) +
           " Wh";
}

measure::RunEndWords endWords(const DischargeRun &run, const measure::RunResult &result,
                              bool inputWasOn, bool off)
{
    measure::RunEndWords words;
    words.result = result;
    words.stop = stopText(run.discharge().stopped());
    words.after = durationText(run.discharge().last().seconds);
    if (run.readings() > 0)
        words.figures = figureLines(run);
    words.inputWasOn = inputWasOn;
    words.off = off;
    return words;
}

namespace {

// What stopped the test, as scripts read it.
const char *stoppedBy(measure::RunEnd end, StopReason stop)
{
    if (const char *word = measure::endWord(end))
        return word;
    switch (stop) {
    case StopReason::Cutoff:
        return "cutoff";
    case StopReason::Capacity:
        return "capacity";
    case StopReason::Energy:
        return "energy";
    case StopReason::Time:
    case StopReason::None:
        break;
    }
    return "time";
}

std::string jsonFigure(const std::optional<double> &value, int decimals)
{
    return value ? figureText(*value, decimals) : std::string("null");
}

} // namespace

std::string summaryJson(const DischargeRun &run, const measure::RunResult &result, bool off,
                        const std::optional<std::string> &meterIdn)
{
    const Discharge &discharge = run.discharge();
    const Sample &last = discharge.last();
    return std::string("{\"test\":\"battery\",\"stopped_by\":\"") +
           stoppedBy(result.end, discharge.stopped()) + "\",\"why\":" + jsonString(result.why) +
           ",\"duration_s\":" + figureText(last.seconds, 3) +
           ",\"capacity_Ah\":" + figureText(last.ampHours, 6) +
           ",\"energy_Wh\":" + figureText(last.wattHours, 6) +
           ",\"mean_V\":" + jsonFigure(discharge.meanVolts(), 4) +
           ",\"end_V\":" + jsonFigure(last.volts, 4) +
           ",\"meter_idn\":" + (meterIdn ? jsonString(*meterIdn) : std::string("null")) +
           ",\"measured\":" + (run.metered() ? "true" : "false") +
           ",\"readings\":" + std::to_string(run.readings()) +
           ",\"skipped\":" + std::to_string(run.skipped()) +
           ",\"bounded\":" + std::to_string(discharge.boundedReadings()) +
           ",\"input_off\":" + (off ? "true" : "false") + "}";
}

measure::RunEndWords DischargeRun::endWords(const measure::RunResult &result, bool inputWasOn,
                                            bool off) const
{
    return battery::endWords(*this, result, inputWasOn, off);
}

std::string DischargeRun::summaryJson(const measure::RunResult &result, bool off,
                                      const std::optional<std::string> &meterIdn) const
{
    return battery::summaryJson(*this, result, off, meterIdn);
}

} // namespace rz417::battery
