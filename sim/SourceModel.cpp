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

} // namespace

OperatingPoint settle(const Source &source, const LoadState &load, const Ratings &ratings)
{
    OperatingPoint point;
    point.volts = std::max(source.volts, 0.0);
    if (!load.inputOn())
        return point;
    if (load.mode() == Mode::None) {
        point.limit = Limit::NoMode;
        return point;
    }
    if (source.volts <= 0.0) {
        point.limit = Limit::Source;
        return point;
    }
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
