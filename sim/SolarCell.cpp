#include "SolarCell.h"

#include "Options.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace rz417::sim {

bool parseSolarCell(const std::string &text, SolarCellParams &params)
{
    const std::vector<std::string> parts = commaParts(text);
    SolarCellParams parsed;
    if (parts.size() != 2 || !parseNumber(parts[0], parsed.openVolts) ||
        !parseNumber(parts[1], parsed.shortAmps) || parsed.openVolts <= 0.0 ||
        parsed.shortAmps <= 0.0)
        return false;
    params = parsed;
    return true;
}

SolarCell::SolarCell(const SolarCellParams &params)
    : m_params(params), m_diodeVolts(params.openVolts / kOpenOverDiodeVolts),
      m_saturationAmps(params.shortAmps / std::expm1(kOpenOverDiodeVolts))
{
}

double SolarCell::amps(double volts) const
{
    // Rounding may leave a trace below zero at VOC; a cell never takes current in.
    return std::max(0.0, m_params.shortAmps - m_saturationAmps * std::expm1(volts / m_diodeVolts));
}

} // namespace rz417::sim
