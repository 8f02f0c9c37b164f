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

    const Setpoints &set = load.setpoints();
    const double shortCircuit = source.ohms > 0.0 ? source.volts / source.ohms : kUnbounded;
    double amps = 0.0;
    switch (load.mode()) {
    case Mode::Cv: {
        double volts = set.cvCentivolts / 100.0;
        if (volts > ratings.volts) {
            volts = ratings.volts;
            point.limit = Limit::RatedVoltage;
        }
        if (volts >= source.volts) {
            // The load can only pull the voltage down, never raise it.
            point.limit = Limit::Source;
        } else {
            amps = source.ohms > 0.0 ? (source.volts - volts) / source.ohms : kUnbounded;
        }
        break;
    }
    case Mode::Cc:
        amps = set.ccMilliamps / 1000.0;
        if (amps > ratings.amps) {
            amps = ratings.amps;
            point.limit = Limit::RatedCurrent;
        }
        break;
    case Mode::Cp: {
        double watts = set.cpDeciwatts / 10.0;
        if (watts > ratings.watts) {
            watts = ratings.watts;
            point.limit = Limit::RatedPower;
        }
        if (const auto forPower = currentForPower(source, watts)) {
            amps = *forPower;
        } else {
            // Asked for more than the source has: the load ends at the source's best.
            amps = source.volts / (2.0 * source.ohms);
            point.limit = Limit::Source;
        }
        break;
    }
    case Mode::Cr: {
        const double ohms = set.crDeciohms / 10.0 + source.ohms;
        amps = ohms > 0.0 ? source.volts / ohms : kUnbounded;
        break;
    }
    case Mode::None:
        break;
    }

    if (amps > shortCircuit) {
        amps = shortCircuit;
        point.limit = Limit::Source;
    }
    if (amps > ratings.amps) {
        amps = ratings.amps;
        point.limit = Limit::RatedCurrent;
    }
    double volts = source.volts - source.ohms * amps;
    if (volts * amps > ratings.watts) {
        // Only reachable when the source can deliver the rated power, so a solution exists.
        amps = currentForPower(source, ratings.watts).value_or(amps);
        volts = source.volts - source.ohms * amps;
        point.limit = Limit::RatedPower;
    }
    if (volts > ratings.volts)
        point.limit = Limit::RatedVoltage;

    point.volts = volts;
    point.amps = amps;
    point.watts = volts * amps;
    return point;
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
