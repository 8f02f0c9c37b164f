#pragma once

#include "SourceModel.h"

#include <string>

namespace rz417::sim {

struct SolarCellParams
{
    double openVolts = 0.0;
    double shortAmps = 0.0;
};

// "VOC,ISC": both above 0.
bool parseSolarCell(const std::string &text, SolarCellParams &params);

// A solar cell or module in steady light as the load's source: a current source in parallel with
// a diode, through (0 V, ISC) and (VOC, 0 A). Its fill factor, the maximum power over
// VOC * ISC, is 0.75 whatever the two are, as a crystalline module's is.
class SolarCell : public SourceCurve
{
public:
    // The open-circuit voltage over the diode's voltage scale (its ideality times the thermal
    // voltage times the cells in series) that gives that fill factor.
    static constexpr double kOpenOverDiodeVolts = 13.67;

    explicit SolarCell(const SolarCellParams &params);

    double openVolts() const override { return m_params.openVolts; }
    double amps(double volts) const override;

private:
    SolarCellParams m_params;
    double m_diodeVolts;
    double m_saturationAmps; // the diode's, so that all ISC flows through it at VOC
};

} // namespace rz417::sim
