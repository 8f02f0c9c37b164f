#pragma once

#include "LoadState.h"

namespace rz417::sim {

// A DC source with an internal resistance: its terminal voltage is volts - ohms * current.
struct Source
{
    double volts = 24.0;
    double ohms = 0.5;
};

// What the load can take whatever it is told.
struct Ratings
{
    double volts = 63.0;
    double amps = 15.0;
    double watts = 200.0;
};

// What held the operating point back from what the mode asked for, if anything.
enum class Limit {
    None,
    NoMode,       // input on, but no setpoint has arrived yet
    Source,       // the source cannot deliver what the mode asks
    RatedVoltage, // setpoint or terminal voltage above the voltage rating
    RatedCurrent,
    RatedPower,
};

struct OperatingPoint
{
    double volts = 0.0;
    double amps = 0.0;
    double watts = 0.0;
    Limit limit = Limit::None;
};

// Where the load settles on the source in its active mode. With the input off it draws nothing
// and the terminals show the source's open-circuit voltage.
OperatingPoint settle(const Source &source, const LoadState &load, const Ratings &ratings = {});

// A source that is no straight line: a bench supply at its current limit, a solar cell. The
// current it delivers falls as its terminal voltage rises, from its short-circuit current at 0 V
// to nothing at its open-circuit voltage.
class SourceCurve
{
public:
    virtual ~SourceCurve() = default;
    virtual double openVolts() const = 0;
    // The current at a terminal voltage from 0 to openVolts(); never more at a higher voltage.
    virtual double amps(double volts) const = 0;
};

// Where the load's mode meets the curve, on the high-voltage side where two points would do, as
// a load ramping up from open circuit finds it. A load asking for more current or power than the
// curve has pulls the terminals down to 0 V at the short-circuit current.
OperatingPoint settle(const SourceCurve &source, const LoadState &load,
                      const Ratings &ratings = {});

// Empty for Limit::None, else a few words for the log ("current rating").
const char *limitText(Limit limit);

} // namespace rz417::sim
