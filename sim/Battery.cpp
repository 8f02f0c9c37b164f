#include "Battery.h"

#include "Options.h"

#include <array>
#include <cmath>
#include <utility>
#include <vector>

namespace rz417::sim {
namespace {

// State of charge and open-circuit voltage of a typical cell, from empty to full.
constexpr std::array<std::pair<double, double>, 13> kCurve{{{-0.02, 2.50},
                                                            {0.00, 3.00},
                                                            {0.02, 3.20},
                                                            {0.05, 3.45},
                                                            {0.10, 3.60},
                                                            {0.20, 3.70},
                                                            {0.30, 3.75},
                                                            {0.40, 3.79},
                                                            {0.50, 3.82},
                                                            {0.60, 3.87},
                                                            {0.70, 3.92},
                                                            {0.90, 4.06},
                                                            {1.00, 4.20}}};

} // namespace

bool parseBattery(const std::string &text, BatteryParams &params)
{
    const std::vector<std::string> parts = commaParts(text);
    if (parts.size() > 3)
        return false;
    BatteryParams parsed;
    double cells = 1;
    if (!parseNumber(parts[0], parsed.capacityAh) || parsed.capacityAh <= 0.0)
        return false;
    if (parts.size() > 1 &&
        (!parseNumber(parts[1], cells) || cells != std::floor(cells) || cells < 1 || cells > 16))
        return false;
    if (parts.size() > 2 && (!parseNumber(parts[2], parsed.ohms) || parsed.ohms < 0.0))
        return false;
    parsed.cells = static_cast<int>(cells);
    params = parsed;
    return true;
}

double cellVolts(double stateOfCharge)
{
    if (stateOfCharge <= kCurve.front().first)
        return kCurve.front().second;
    for (std::size_t i = 1; i < kCurve.size(); ++i) {
        const auto [soc, volts] = kCurve[i];
        if (stateOfCharge <= soc) {
            const auto [soc0, volts0] = kCurve[i - 1];
            return volts0 + (volts - volts0) * (stateOfCharge - soc0) / (soc - soc0);
        }
    }
    return kCurve.back().second;
}

Source Battery::source() const
{
    return {m_params.cells * cellVolts(stateOfCharge()), m_params.ohms};
}

void Battery::draw(double amps, double seconds)
{
    if (amps > 0 && seconds > 0)
        m_drawnAh += amps * seconds / 3600.0;
}

} // namespace rz417::sim
