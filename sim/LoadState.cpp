#include "LoadState.h"

#include "protocol/Frame.h"
#include "protocol/Modes.h"
#include "protocol/SetpointValue.h"

namespace rz417::sim {

namespace {

const ModeInfo &mode(int16_t code)
{
    return *modeInfo(code);
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
        m_inputOn = frame.value == kInputOnValue;
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
    if (!frame.valid || frame.command == Command::Input)
        return {};
    return fixedText(frame.value, commandInfo(frame.command).decimals);
}

std::string frameUnit(const Frame &frame)
{
    if (!frame.valid)
        return {};
    return commandInfo(frame.command).unit;
}

std::string frameMeaning(const Frame &frame)
{
    if (!frame.valid)
        return "bad frame: " + frame.error;
    if (frame.command == Command::Input)
        return frame.value == kInputOnValue ? "input ON" : "input OFF";
    std::string text = std::string(commandName(frame.command)) + " " + frameValueText(frame) + " " +
                       frameUnit(frame);
    if (frame.command == Command::CcHighSetpoint)
        text += " (high range)";
    else if (frame.command == Command::CcLowSetpoint)
        text += " (low range)";
    return text;
}

std::string cvText(const Setpoints &setpoints)
{
    const ModeInfo &cv = mode(ModeCodes::CV);
    return fixedText(setpoints.cvCentivolts, cv.decimals) + " " + cv.unitText;
}

std::string ccText(const Setpoints &setpoints)
{
    const ModeInfo &cc = mode(ModeCodes::CC);
    if (setpoints.ccHighRange)
        return fixedText(setpoints.ccMilliamps / 10U, cc.decimals - 1) + " " + cc.unitText;
    return fixedText(setpoints.ccMilliamps, cc.decimals) + " " + cc.unitText;
}

std::string cpText(const Setpoints &setpoints)
{
    const ModeInfo &cp = mode(ModeCodes::CP);
    return fixedText(setpoints.cpDeciwatts, cp.decimals) + " " + cp.unitText;
}

std::string crText(const Setpoints &setpoints)
{
    const ModeInfo &cr = mode(ModeCodes::CR);
    return fixedText(setpoints.crDeciohms, cr.decimals) + " " + cr.unitText;
}

} // namespace rz417::sim
