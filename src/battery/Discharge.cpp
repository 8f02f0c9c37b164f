#include "battery/Discharge.h"

#include "protocol/Modes.h"

#include <algorithm>
#include <cmath>

namespace rz417::battery {

Discharge::Discharge(int16_t mode, double setpoint, Stops stops)
    : m_mode(mode), m_setpoint(setpoint), m_stops(stops)
{
}

namespace {

struct RefusalWords
{
    const char *stops;
    const char *cutoff;
    const char *meter;
    const char *cr;
    const char *energyInCc;
    const char *capacityInCp;
};

constexpr RefusalWords kCommandLine{"--cutoff VOLTS, --capacity AH, --energy WH or --time DURATION",
                                    "--cutoff",
                                    "give --meter ADDRESS",
                                    "cr",
                                    "--energy in cc",
                                    "--capacity in cp"};
constexpr RefusalWords kWindow{"a cut-off, a capacity, an energy or a time",
                               "the cut-off",
                               "give the meter's address",
                               "CR",
                               "an energy stop in CC",
                               "a capacity stop in CP"};

} // namespace

std::string Discharge::refusal(int16_t mode, const Stops &stops, bool metered,
                               measure::Naming naming)
{
    const RefusalWords &words = naming == measure::Naming::Label ? kWindow : kCommandLine;
    if (mode == ModeCodes::CV)
        return "a battery test does not run in CV: the load would draw a current it cannot "
               "know, and the RZ-417 reports none back; use cc, cp or cr";
    if (!stops.cutoffMillivolts && !stops.capacityMicroAh && !stops.energyMilliWh && !stops.timeMs)
        return std::string("a battery test needs a stop: ") + words.stops;
    if (metered)
        return {};
    if (stops.cutoffMillivolts)
        return std::string(words.cutoff) + " needs a meter to read the voltage: " + words.meter;
    if (mode == ModeCodes::CR)
        return std::string(words.cr) +
               " needs a meter: without the voltage neither the current nor the power is known; " +
               words.meter;
    if (mode == ModeCodes::CC && stops.energyMilliWh)
        return std::string(words.energyInCc) +
               " needs a meter: without the voltage the power is not known";
    if (mode == ModeCodes::CP && stops.capacityMicroAh)
        return std::string(words.capacityInCp) +
               " needs a meter: without the voltage the current is not known";
    return {};
}

namespace {

// The top of a mode's range in its unit.
double rangeTop(int16_t mode)
{
    const ModeInfo *info = modeInfo(mode);
    return info->rangeTop / std::pow(10.0, info->decimals);
}

} // namespace

double loadMostAmps()
{
    return rangeTop(ModeCodes::CC);
}

double loadMostWatts()
{
    return rangeTop(ModeCodes::CP);
}

namespace {

// A reading near 0 V would make P/V count thousands of amperes: the load draws at most its
// range, in current and in power.
void bound(std::optional<double> volts, Counted &counted)
{
    if (!volts || !counted.amps || *volts <= 0)
        return;
    const double most = std::min(loadMostAmps(), loadMostWatts() / *volts);
    if (*counted.amps <= most)
        return;
    counted.amps = most;
    counted.watts = most * *volts;
    counted.bounded = true;
}

} // namespace

Counted countReading(int16_t mode, double setpoint, std::optional<double> volts)
{
    Counted counted;
    const bool live = volts && *volts > 0;
    switch (mode) {
    case ModeCodes::CC:
        counted.amps = setpoint;
        if (volts)
            counted.watts = *volts * setpoint;
        break;
    case ModeCodes::CP:
        counted.watts = setpoint;
        if (volts)
            counted.amps = live ? setpoint / *volts : 0.0;
        break;
    case ModeCodes::CR:
        if (volts) {
            counted.amps = live ? *volts / setpoint : 0.0;
            counted.watts = live ? *volts * *volts / setpoint : 0.0;
        }
        break;
    default:
        break;
    }
    if (mode == ModeCodes::CP || mode == ModeCodes::CR)
        bound(volts, counted);
    return counted;
}

const Sample &Discharge::take(double seconds, std::optional<double> volts)
{
    Sample next;
    next.seconds = seconds;
    next.volts = volts;
    const Counted counted = countReading(m_mode, m_setpoint, volts);
    next.amps = counted.amps;
    next.watts = counted.watts;
    next.bounded = counted.bounded;
    ++m_readings;
    if (next.bounded)
        ++m_bounded;
    integrate(next);
    m_started = true;
    m_last = next;
    checkStops(seconds, volts);
    return m_last;
}

void Discharge::integrate(Sample &next)
{
    next.ampHours = m_last.ampHours;
    next.wattHours = m_last.wattHours;
    // The first reading may come a while after the input went on (a slow meter): until it, the
    // load drew what it shows.
    const Sample &before = m_started ? m_last : next;
    const double span = next.seconds - (m_started ? m_last.seconds : 0.0);
    const double hours = span / 3600.0;
    if (next.amps && before.amps)
        next.ampHours += (*next.amps + *before.amps) / 2 * hours;
    if (next.watts && before.watts)
        next.wattHours += (*next.watts + *before.watts) / 2 * hours;
    if (next.volts && before.volts) {
        m_voltSeconds += (*next.volts + *before.volts) / 2 * span;
        m_voltTime += span;
    }
}

void Discharge::checkStops(double seconds, const std::optional<double> &volts)
{
    if (m_stops.cutoffMillivolts && volts)
        m_belowCutoff = *volts * 1000 < double(*m_stops.cutoffMillivolts) ? m_belowCutoff + 1 : 0;
    if (m_stopped != StopReason::None)
        return;
    if (m_belowCutoff >= 2)
        m_stopped = StopReason::Cutoff;
    else if (m_stops.capacityMicroAh && m_last.ampHours * 1e6 >= double(*m_stops.capacityMicroAh))
        m_stopped = StopReason::Capacity;
    else if (m_stops.energyMilliWh && m_last.wattHours * 1e3 >= double(*m_stops.energyMilliWh))
        m_stopped = StopReason::Energy;
    else if (m_stops.timeMs && seconds * 1000 >= double(*m_stops.timeMs) - 0.5)
        m_stopped = StopReason::Time;
}

std::optional<double> Discharge::meanVolts() const
{
    if (m_voltTime > 0)
        return m_voltSeconds / m_voltTime;
    return m_last.volts;
}

const char *stopText(StopReason reason)
{
    switch (reason) {
    case StopReason::Cutoff:
        return "the cut-off voltage";
    case StopReason::Capacity:
        return "the capacity";
    case StopReason::Energy:
        return "the energy";
    case StopReason::Time:
        return "the time";
    case StopReason::None:
        break;
    }
    return "nothing";
}

} // namespace rz417::battery
