#pragma once

#include "SourceModel.h"

#include <string>

namespace rz417::sim {

// A lithium-ion battery as the load's source: CELLS cells in series of CAPACITY_AH each, with an
// internal resistance. Its open-circuit voltage falls with the charge drawn, slowly through the
// middle and steeply near empty.
struct BatteryParams
{
    double capacityAh = 0.0;
    int cells = 1;
    double ohms = 0.05;
};

// "CAPACITY_AH[,CELLS][,OHMS]": a capacity above 0, 1 to 16 cells, ohms 0 or more.
bool parseBattery(const std::string &text, BatteryParams &params);

// One cell's open-circuit voltage at a state of charge from 0 (empty) to 1 (full); below empty
// it keeps falling to 2.5 V.
double cellVolts(double stateOfCharge);

class Battery
{
public:
    explicit Battery(const BatteryParams &params) : m_params(params) {}

    // The battery as a source now: its open-circuit voltage and resistance.
    Source source() const;
    // The load drew amps for seconds.
    void draw(double amps, double seconds);
    double drawnAh() const { return m_drawnAh; }
    double stateOfCharge() const { return 1.0 - m_drawnAh / m_params.capacityAh; }

private:
    BatteryParams m_params;
    double m_drawnAh = 0.0;
};

} // namespace rz417::sim
