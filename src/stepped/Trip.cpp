#include "stepped/Trip.h"

#include "battery/BatteryRun.h"
#include "battery/MeterParameters.h"
#include "protocol/Modes.h"
#include "protocol/SetpointValue.h"
#include "protocol/TimeText.h"

#include <algorithm>

namespace rz417::stepped {

using battery::figureText;
using measure::Field;
using Parameter = measure::Parameter<TripSetup>;

namespace {

std::string takeRefine(const std::string &text, TripSetup &into)
{
    return measure::takeFlag(text, into.refine);
}

std::vector<Parameter> makeParameters(bool power)
{
    const char *unit = power ? "W" : "A";
    const char *needs = power ? "watts, e.g. 25" : "amperes, e.g. 1.5";
    return {
        {"from", "--from", unit, needs, "the ramp's first setpoint", "&From", unit, "", "", "",
         Field::Line, false, takeSetpoint<TripSetup, &TripSetup::from>},
        {"to", "--to", unit, needs, "its last setpoint: no trip up to it ends the test", "T&o",
         unit, "", "", "", Field::Line, false, takeSetpoint<TripSetup, &TripSetup::to>},
        {"step", "--step", unit, needs, "the ramp's step", "Ste&p", unit, "", "", "", Field::Line,
         false, takeSetpoint<TripSetup, &TripSetup::step>},
        {"trip", "--trip", "V", "volts, e.g. 10",
         "tripped: a reading below V, confirmed by a second", "T&rip below", "V", "", "", "",
         Field::Line, false, takeVolts<TripSetup, &TripSetup::tripVolts>},
        {"dwell", "--dwell", "SECONDS", "seconds, e.g. 0.5",
         "seconds from a step to its reading, from 0.2; 0.5 by default", "&Dwell", "s", "0.5", "",
         "", Field::Line, false, takeSeconds<TripSetup, &TripSetup::dwell>},
        {"refine", "--refine", "", "", "after a trip, bisect down to the frame's step",
         "Refi&ne the trip point", "", measure::kNo, "", "", Field::Flag, false, takeRefine},
        {"recover", "--recover", "SECONDS", "seconds, e.g. 2",
         "seconds with the input off before each probe; 2 by default", "Re&cover", "s", "2", "",
         "--refine", Field::Line, false, takeSeconds<TripSetup, &TripSetup::recover>},
        battery::meterParameter<TripSetup, MeterSetup, &MeterSetup::meter>(
            "the meter on the supply: HOST:PORT (SCPI socket), serial:DEVICE[@BAUD]"),
        battery::queryParameter<TripSetup>([](const std::string &text, TripSetup &into) {
            return battery::readMeterQuery(text, into.query);
        }),
        battery::logParameter<TripSetup, MeterSetup, &MeterSetup::log>(),
    };
}

std::string valueText(int16_t mode, int32_t value)
{
    const ModeInfo *info = modeInfo(mode);
    return fixedText(value, info->decimals) + " " + info->unitText;
}

// What the setup lacks or contradicts, named as the front end names its parameters.
std::string refusal(const TripSetup &s, measure::Naming naming)
{
    const auto &table = tripParameters(s.mode);
    const auto name = [&](std::size_t row) { return measure::parameterName(table[row], naming); };
    const char *needs[] = {"the ramp's first setpoint",
                           "the ramp's last setpoint",
                           "the ramp's step",
                           "the voltage below which the supply has tripped",
                           "",
                           "",
                           "",
                           "the meter reads the supply's voltage"};
    const bool given[] = {s.from.has_value(),
                          s.to.has_value(),
                          s.step.has_value(),
                          s.tripVolts.has_value(),
                          true,
                          true,
                          true,
                          s.meter.has_value()};
    for (std::size_t row = 0; row < std::size(given); ++row) {
        if (!given[row])
            return name(row) + " is needed: " + needs[row];
    }
    if (*s.from > *s.to)
        return name(0) + " (" + valueText(s.mode, *s.from) + ") is above " + name(1) + " (" +
               valueText(s.mode, *s.to) + "): the ramp goes up";
    if (*s.step == 0 || *s.step > *s.to - *s.from)
        return name(2) + " takes a step above 0 and not above the span from " + name(0) + " to " +
               name(1) + " (" + valueText(s.mode, *s.to - *s.from) + "), not " +
               valueText(s.mode, *s.step);
    return {};
}

} // namespace

const std::vector<Parameter> &tripParameters(int16_t mode)
{
    static const std::vector<Parameter> current = makeParameters(false);
    static const std::vector<Parameter> power = makeParameters(true);
    return mode == ModeCodes::CP ? power : current;
}

std::optional<TripSetup> readTripSetup(int16_t mode, const measure::Texts &texts,
                                       measure::Naming naming, std::string &why)
{
    TripSetup setup;
    setup.mode = mode;
    return measure::readSetup(tripParameters(mode), texts, naming, why, setup, refusal);
}

TripRun::TripRun(const TripSetup &setup) : SteppedRun(setup.mode, setup), m_setup(setup) {}

std::optional<double> TripRun::tripAt() const
{
    return m_trip ? std::optional<double>(units(*m_trip)) : std::nullopt;
}

std::optional<double> TripRun::lastGood() const
{
    return m_good ? std::optional<double>(units(*m_good)) : std::nullopt;
}

std::optional<measure::RunResult> TripRun::reading(const Point &point, Micros at,
                                                   measure::FrameOut &out)
{
    const bool below = point.volts < *m_setup.tripVolts;
    switch (m_phase) {
    case Phase::NoLoad:
        return noLoad(point, at, out);
    case Phase::Ramp:
    case Phase::Probe:
        if (!below)
            return good(point, at, out);
        // A reading below the trip is asked again at once, with no frame between.
        m_phase = m_phase == Phase::Ramp ? Phase::Confirm : Phase::ProbeConfirm;
        dueAt(at);
        return std::nullopt;
    case Phase::Confirm:
    case Phase::ProbeConfirm:
        if (below)
            return tripped(at, out);
        m_phase = m_phase == Phase::Confirm ? Phase::Ramp : Phase::Probe;
        return good(point, at, out);
    case Phase::Recover:
        return recovered(point, at, out);
    }
    return std::nullopt;
}

std::optional<measure::RunResult> TripRun::noLoad(const Point &point, Micros at,
                                                  measure::FrameOut &out)
{
    if (*m_setup.tripVolts >= point.volts)
        return measure::RunResult{measure::RunEnd::Refused,
                                  "the trip voltage " + figureText(*m_setup.tripVolts, 3) +
                                      " V is not below the supply's no-load voltage " +
                                      figureText(point.volts, 3) + " V"};
    if (!sendSetpoint(*m_setup.from, out))
        return lineFailed();
    m_phase = Phase::Ramp;
    dueAt(at + m_setup.dwell);
    return std::nullopt;
}

std::optional<measure::RunResult> TripRun::good(const Point &point, Micros at,
                                                measure::FrameOut &out)
{
    if (!m_good || setpointValue() > *m_good) {
        m_good = setpointValue();
        m_lastGoodVolts = point.volts;
    }
    if (point.watts && (!m_maxPower || *point.watts > *m_maxPower))
        m_maxPower = point.watts;
    if (m_phase == Phase::Probe) {
        if (!switchOff(out))
            return lineFailed();
        m_phase = Phase::Recover;
        dueAt(at + m_setup.recover);
        return std::nullopt;
    }
    if (setpointValue() >= *m_setup.to)
        return done(Outcome::NoTrip);
    if (!sendSetpoint(std::min(setpointValue() + *m_setup.step, *m_setup.to), out))
        return lineFailed();
    dueAt(at + m_setup.dwell);
    return std::nullopt;
}

std::optional<measure::RunResult> TripRun::tripped(Micros at, measure::FrameOut &out)
{
    // The input goes off at once: the driver's off frame would come only after the log.
    if (!switchOff(out))
        return lineFailed();
    if (!m_trip || setpointValue() < *m_trip)
        m_trip = setpointValue();
    if (!m_setup.refine)
        return done(Outcome::Tripped);
    m_phase = Phase::Recover;
    dueAt(at + m_setup.recover);
    return std::nullopt;
}

std::optional<measure::RunResult> TripRun::recovered(const Point &point, Micros at,
                                                     measure::FrameOut &out)
{
    if (point.volts < *m_setup.tripVolts) {
        m_latched = true;
        return done(Outcome::Latched);
    }
    m_latched = false;
    const auto probe = nextProbe();
    if (!probe)
        return done(Outcome::Tripped);
    if (!sendSetpoint(*probe, out))
        return lineFailed();
    m_phase = Phase::Probe;
    dueAt(at + m_setup.dwell);
    return std::nullopt;
}

std::optional<int32_t> TripRun::nextProbe() const
{
    // Below the first setpoint nothing is known to hold: the bisection starts from nothing.
    const int32_t low = m_good ? *m_good : 0;
    const int32_t high = *m_trip;
    int32_t mid = low + (high - low) / 2;
    const int32_t step = frameStep(mode(), mid);
    mid -= mid % step;
    if (mid <= low)
        mid = low + frameStep(mode(), low + 1);
    if (mid >= high)
        return std::nullopt;
    return mid;
}

std::optional<measure::RunResult> TripRun::done(Outcome outcome)
{
    m_outcome = outcome;
    return measure::RunResult{measure::RunEnd::Stopped, {}};
}

measure::RunEndWords TripRun::endWords(const measure::RunResult &result, bool inputWasOn,
                                       bool off) const
{
    measure::RunEndWords words = baseWords(result, inputWasOn, off);
    const ModeInfo *info = modeInfo(mode());
    const auto value = [info](double v) {
        return figureText(v, info->decimals) + " " + info->unitText;
    };
    if (m_outcome == Outcome::Tripped)
        words.stop = "a trip at " + value(*tripAt());
    else if (m_outcome == Outcome::Latched)
        words.stop = "a latched supply";
    if (const auto open = openVolts())
        words.figures.push_back("no-load voltage " + figureText(*open, 3) + " V");
    if (m_outcome == Outcome::NoTrip)
        words.figures.push_back("did not trip up to " + value(units(*m_setup.to)));
    if (m_trip)
        words.figures.push_back(
            std::string(m_setup.refine ? "tripped at " : "tripped by ") + value(*tripAt()) +
            (m_setup.refine && m_outcome == Outcome::Tripped ? ", refined" : ""));
    if (m_outcome == Outcome::Latched)
        words.figures.push_back(
            "the supply stayed below " + figureText(*m_setup.tripVolts, 3) + " V after " +
            figureText(static_cast<double>(m_setup.recover.count()) / 1000.0, 1) + " s" +
            " with the input off: latched");
    if (m_good)
        words.figures.push_back("last good " + value(*lastGood()) + " at " +
                                figureText(*m_lastGoodVolts, 3) + " V");
    if (m_maxPower)
        words.figures.push_back("most power drawn " + figureText(*m_maxPower, 2) + " W");
    return words;
}

std::string TripRun::summaryJson(const measure::RunResult &result, bool off,
                                 const std::optional<std::string> &meterIdn) const
{
    const bool power = mode() == ModeCodes::CP;
    const char *stop = commonStop(result.end);
    if (result.end == measure::RunEnd::Stopped)
        stop = m_outcome == Outcome::Tripped   ? "trip"
               : m_outcome == Outcome::Latched ? "latched"
                                               : "end";
    const int decimals = modeInfo(mode())->decimals;
    return jsonHead(power ? "opp" : "ocp", stop, result, off, meterIdn) +
           ",\"no_load_V\":" + jsonNumber(openVolts(), 4) +
           (power ? ",\"trip_W\":" : ",\"trip_A\":") + jsonNumber(tripAt(), decimals) +
           (power ? ",\"last_good_W\":" : ",\"last_good_A\":") + jsonNumber(lastGood(), decimals) +
           ",\"last_good_V\":" + jsonNumber(m_lastGoodVolts, 4) +
           ",\"max_power_W\":" + jsonNumber(m_maxPower, 3) +
           ",\"latched\":" + (m_latched ? (*m_latched ? "true" : "false") : "null") + "}";
}

} // namespace rz417::stepped
