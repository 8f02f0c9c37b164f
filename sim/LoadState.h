#pragma once

#include "FrameDecoder.h"

#include <cstdint>
#include <string>

namespace rz417::sim {

enum class Mode { None, Cv, Cc, Cp, Cr };

// The setpoint of each mode as the load holds it, in the steps the frames carry.
struct Setpoints
{
    uint32_t cvCentivolts = 0;
    uint32_t ccMilliamps = 0; // a high-range frame is held in mA too, so both ranges compare
    bool ccHighRange = false;
    uint32_t cpDeciwatts = 0;
    uint32_t crDeciohms = 0;
};

// What the load has been told: the mode of the last setpoint, each mode's setpoint and whether
// its input is on. Before the first setpoint the load has no mode and draws nothing.
class LoadState
{
public:
    // A valid frame changes the state; a bad one changes nothing.
    void apply(const Frame &frame);

    Mode mode() const { return m_mode; }
    const Setpoints &setpoints() const { return m_setpoints; }
    bool inputOn() const { return m_inputOn; }

private:
    Mode m_mode = Mode::None;
    Setpoints m_setpoints;
    bool m_inputOn = false;
};

// "CV", "CC", "CP", "CR", or "-" before the first setpoint.
const char *modeName(Mode mode);

// A valid frame in units: "CV 12.34 V", "CC 1.00 A (high range)", "CC 0.500 A (low range)",
// "CP 200.0 W", "CR 10.0 ohm", "input ON", "input OFF".
std::string frameMeaning(const Frame &frame);

// The value of a setpoint frame as a decimal number in its unit ("12.34", "0.500"), the unit
// ("V", "A", "W", "ohm"); both empty for the input command.
std::string frameValueText(const Frame &frame);
std::string frameUnit(const Frame &frame);

// Each mode's setpoint the way the panel's frames give it: "12.34 V", "1.00 A", "0.500 A", ...
std::string cvText(const Setpoints &setpoints);
std::string ccText(const Setpoints &setpoints);
std::string cpText(const Setpoints &setpoints);
std::string crText(const Setpoints &setpoints);

} // namespace rz417::sim
