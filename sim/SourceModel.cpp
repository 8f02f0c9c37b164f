#include "SourceModel.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace rz417::sim {

namespace {

constexpr double kUnbounded = std::numeric_limits<double>::infinity();

// The smaller current at which the source delivers `watts` into the load: the operating point on
// the high-voltage side, which a load reaches as it ramps up from open circuit. Empty when the
// source cannot deliver that much power at all.
std::optional<double> currentForPower(const Source &source, double watts)
{
    if (source.ohms <= 0.0)
        return watts / source.volts;
    const double discriminant = source.volts * source.volts - 4.0 * source.ohms * watts;
    if (discriminant < 0.0)
        return std::nullopt;
    return (source.volts - std::sqrt(discriminant)) / (2.0 * source.ohms);
}

// What each mode asks of the source, bounded only by what that mode knows of the ratings and the
// source; `limit` is set when one of them held it back.
double cvAmps(const Source &source, const Setpoints &set, const Ratings &ratings, Limit &limit)
{
    double volts = set.cvCentivolts / 100.0;
    if (volts > ratings.volts) {
        volts = ratings.volts;
        limit = Limit::RatedVoltage;
    }
    if (volts >= source.volts) {
        // The load can only pull the voltage down, never raise it.
        limit = Limit::Source;
        return 0.0;
    }
    return source.ohms > 0.0 ? (source.volts - volts) / source.ohms : kUnbounded;
}

double ccAmps(const Setpoints &set, const Ratings &ratings, Limit &limit)
{
    double amps = set.ccMilliamps / 1000.0;
    if (amps > ratings.amps) {
        amps = ratings.amps;
        limit = Limit::RatedCurrent;
    }
    return amps;
}

double cpAmps(const Source &source, const Setpoints &set, const Ratings &ratings, Limit &limit)
{
    double watts = set.cpDeciwatts / 10.0;
    if (watts > ratings.watts) {
        watts = ratings.watts;
        limit = Limit::RatedPower;
    }
    if (const auto forPower = currentForPower(source, watts))
        return *forPower;
    // Asked for more than the source has: the load ends at the source's best.
    limit = Limit::Source;
    return source.volts / (2.0 * source.ohms);
}

double crAmps(const Source &source, const Setpoints &set)
{
    const double ohms = set.crDeciohms / 10.0 + source.ohms;
    return ohms > 0.0 ? source.volts / ohms : kUnbounded;
}

double modeAmps(const Source &source, const LoadState &load, const Ratings &ratings, Limit &limit)
{
    const Setpoints &set = load.setpoints();
    switch (load.mode()) {
    case Mode::Cv:
        return cvAmps(source, set, ratings, limit);
    case Mode::Cc:
        return ccAmps(set, ratings, limit);
    case Mode::Cp:
        return cpAmps(source, set, ratings, limit);
    case Mode::Cr:
        return crAmps(source, set);
    case Mode::None:
        break;
    }
    return 0.0;
}

// Whatever the mode asked, no more than the source's short circuit and the load's ratings flow.
OperatingPoint bounded(const Source &source, const Ratings &ratings, double amps, Limit limit)
{
    const double shortCircuit = source.ohms > 0.0 ? source.volts / source.ohms : kUnbounded;
    if (amps > shortCircuit) {
        amps = shortCircuit;
        limit = Limit::Source;
    }
    if (amps > ratings.amps) {
        amps = ratings.amps;
        limit = Limit::RatedCurrent;
    }
    double volts = source.volts - source.ohms * amps;
    if (volts * amps > ratings.watts) {
        // Only reachable when the source can deliver the rated power, so a solution exists.
        amps = currentForPower(source, ratings.watts).value_or(amps);
        volts = source.volts - source.ohms * amps;
        limit = Limit::RatedPower;
    }
    if (volts > ratings.volts)
        limit = Limit::RatedVoltage;

    OperatingPoint point;
    point.volts = volts;
    point.amps = amps;
    point.watts = volts * amps;
    point.limit = limit;
    return point;
}

// Where the load stands while it draws nothing: the input off, no mode yet, or a source with
// nothing to give. Empty when the mode has something to draw.
std::optional<OperatingPoint> drawingNothing(double openVolts, const LoadState &load)
{
    OperatingPoint point;
    point.volts = std::max(openVolts, 0.0);
    if (!load.inputOn())
        return point;
    if (load.mode() == Mode::None) {
        point.limit = Limit::NoMode;
        return point;
    }
    if (openVolts <= 0.0) {
        point.limit = Limit::Source;
        return point;
    }
    return std::nullopt;
}

OperatingPoint pointAt(double volts, double amps, Limit limit)
{
    OperatingPoint point;
    point.volts = volts;
    point.amps = amps;
    point.watts = volts * amps;
    point.limit = limit;
    return point;
}

// The highest voltage from `low` up to `high` at which `holds` is true, for a `holds` true at
// `low` that stays false once it is. Halving a hundred times leaves no double in between.
template <typename Holds> double highestVolts(double low, double high, Holds holds)
{
    for (int i = 0; i < 100; ++i) {
        const double middle = low + (high - low) / 2.0;
        (holds(middle) ? low : high) = middle;
    }
    return low;
}

double powerAt(const SourceCurve &source, double volts)
{
    return volts * source.amps(volts);
}

// The voltage of the curve's maximum power point: the power rises up to it and falls beyond, so
// thirds close in on it.
double maxPowerVolts(const SourceCurve &source)
{
    double low = 0.0;
    double high = source.openVolts();
    for (int i = 0; i < 100; ++i) {
        const double third = (high - low) / 3.0;
        if (powerAt(source, low + third) < powerAt(source, high - third))
            low += third;
        else
            high -= third;
    }
    return low;
}

// The load holding `amps`: at the highest voltage at which the source still delivers them.
OperatingPoint drawing(const SourceCurve &source, double amps, Limit limit)
{
    const double shortCircuit = source.amps(0.0);
    if (amps > shortCircuit)
        return pointAt(0.0, shortCircuit, Limit::Source);
    const double volts =
        highestVolts(0.0, source.openVolts(), [&](double v) { return source.amps(v) >= amps; });
    return pointAt(volts, amps, limit);
}

// The load taking `watts`, above the maximum power point.
OperatingPoint taking(const SourceCurve &source, double watts, Limit limit)
{
    const double best = maxPowerVolts(source);
    if (watts > powerAt(source, best))
        return pointAt(0.0, source.amps(0.0), Limit::Source);
    const double volts = highestVolts(best, source.openVolts(),
                                      [&](double v) { return powerAt(source, v) >= watts; });
    return pointAt(volts, volts > 0.0 ? watts / volts : 0.0, limit);
}

OperatingPoint modePoint(const SourceCurve &source, const LoadState &load, const Ratings &ratings)
{
    const Setpoints &set = load.setpoints();
    Limit limit = Limit::None;
    switch (load.mode()) {
    case Mode::Cv: {
        double volts = set.cvCentivolts / 100.0;
        if (volts > ratings.volts) {
            volts = ratings.volts;
            limit = Limit::RatedVoltage;
        }
        if (volts >= source.openVolts())
            return pointAt(source.openVolts(), 0.0, Limit::Source);
        return pointAt(volts, source.amps(volts), limit);
    }
    case Mode::Cc: {
        const double amps = ccAmps(set, ratings, limit);
        return drawing(source, amps, limit);
    }
    case Mode::Cp: {
        double watts = set.cpDeciwatts / 10.0;
        if (watts > ratings.watts) {
            watts = ratings.watts;
            limit = Limit::RatedPower;
        }
        return taking(source, watts, limit);
    }
    case Mode::Cr: {
        const double ohms = set.crDeciohms / 10.0;
        const double volts = highestVolts(0.0, source.openVolts(),
                                          [&](double v) { return source.amps(v) * ohms >= v; });
        return pointAt(volts, ohms > 0.0 ? volts / ohms : source.amps(0.0), limit);
    }
    case Mode::None:
        break;
    }
    return pointAt(source.openVolts(), 0.0, Limit::NoMode);
}

} // namespace

OperatingPoint settle(const SourceCurve &source, const LoadState &load, const Ratings &ratings)
{
    if (const auto idle = drawingNothing(source.openVolts(), load))
        return *idle;
    OperatingPoint point = modePoint(source, load, ratings);
    // As on a straight source: the current rating first, then the power rating.
    if (point.amps > ratings.amps)
        point = drawing(source, ratings.amps, Limit::RatedCurrent);
    if (point.watts > ratings.watts)
        point = taking(source, ratings.watts, Limit::RatedPower);
    if (point.volts > ratings.volts)
        point.limit = Limit::RatedVoltage;
    return point;
}

OperatingPoint settle(const Source &source, const LoadState &load, const Ratings &ratings)
{
    if (const auto idle = drawingNothing(source.volts, load))
        return *idle;
    Limit limit = Limit::None;
    const double amps = modeAmps(source, load, ratings, limit);
    return bounded(source, ratings, amps, limit);
}

const char *limitText(Limit limit)
{
    switch (limit) {
    case Limit::None:
        return "";
    case Limit::NoMode:
        return "no setpoint yet";
    case Limit::Source:
        return "source limit";
    case Limit::RatedVoltage:
        return "voltage rating";
    case Limit::RatedCurrent:
        return "current rating";
    case Limit::RatedPower:
        return "power rating";
    }
    return "";
}

} // namespace rz417::sim
