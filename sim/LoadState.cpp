#include "LoadState.h"

namespace rz417::sim {

namespace {

// value / 10^decimals with exactly `decimals` digits after the point.
std::string fixed(uint32_t value, int decimals)
{
    uint32_t scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    std::string fraction = std::to_string(value % scale);
    fraction.insert(0, static_cast<std::size_t>(decimals) - fraction.size(), '0');
    return std::to_string(value / scale) + "." + fraction;
}

} // namespace

void LoadState::apply(const Frame &frame)
{
    if (!frame.valid)
        return;
    switch (frame.command) {
    case Command::CvSetpoint:
        m_mode = Mode::Cv;
        m_setpoints.cvCentivolts = frame.value;
        break;
    case Command::CcHighSetpoint:
        m_mode = Mode::Cc;
        m_setpoints.ccMilliamps = frame.value * 10U;
        m_setpoints.ccHighRange = true;
        break;
    case Command::CcLowSetpoint:
        m_mode = Mode::Cc;
        m_setpoints.ccMilliamps = frame.value;
        m_setpoints.ccHighRange = false;
        break;
    case Command::CpSetpoint:
        m_mode = Mode::Cp;
        m_setpoints.cpDeciwatts = frame.value;
        break;
    case Command::CrSetpoint:
        m_mode = Mode::Cr;
        m_setpoints.crDeciohms = frame.value;
        break;
    case Command::Input:
        m_inputOn = frame.value == 0x00FF;
        break;
    }
}

const char *modeName(Mode mode)
{
    switch (mode) {
    case Mode::Cv:
        return "CV";
    case Mode::Cc:
        return "CC";
    case Mode::Cp:
        return "CP";
    case Mode::Cr:
        return "CR";
    case Mode::None:
        break;
    }
    return "-";
}

std::string frameValueText(const Frame &frame)
{
    if (!frame.valid)
        return {};
    switch (frame.command) {
    case Command::CvSetpoint:
    case Command::CcHighSetpoint:
        return fixed(frame.value, 2);
    case Command::CcLowSetpoint:
        return fixed(frame.value, 3);
    case Command::CpSetpoint:
    case Command::CrSetpoint:
        return fixed(frame.value, 1);
    case Command::Input:
        break;
    }
    return {};
}

std::string frameUnit(const Frame &frame)
{
    if (!frame.valid)
        return {};
    switch (frame.command) {
    case Command::CvSetpoint:
        return "V";
    case Command::CcHighSetpoint:
    case Command::CcLowSetpoint:
        return "A";
    case Command::CpSetpoint:
        return "W";
    case Command::CrSetpoint:
        return "ohm";
    case Command::Input:
        break;
    }
    return {};
}

std::string frameMeaning(const Frame &frame)
{
    if (!frame.valid)
        return "bad frame: " + frame.error;
    switch (frame.command) {
    case Command::CvSetpoint:
        return "CV " + frameValueText(frame) + " V";
    case Command::CcHighSetpoint:
        return "CC " + frameValueText(frame) + " A (high range)";
    case Command::CcLowSetpoint:
        return "CC " + frameValueText(frame) + " A (low range)";
    case Command::CpSetpoint:
        return "CP " + frameValueText(frame) + " W";
    case Command::CrSetpoint:
        return "CR " + frameValueText(frame) + " ohm";
    case Command::Input:
        return frame.value == 0x00FF ? "input ON" : "input OFF";
    }
    return {};
}

std::string cvText(const Setpoints &setpoints)
{
    return fixed(setpoints.cvCentivolts, 2) + " V";
}

std::string ccText(const Setpoints &setpoints)
{
    if (setpoints.ccHighRange)
        return fixed(setpoints.ccMilliamps / 10U, 2) + " A";
    return fixed(setpoints.ccMilliamps, 3) + " A";
}

std::string cpText(const Setpoints &setpoints)
{
    return fixed(setpoints.cpDeciwatts, 1) + " W";
}

std::string crText(const Setpoints &setpoints)
{
    return fixed(setpoints.crDeciohms, 1) + " ohm";
}

} // namespace rz417::sim
