#pragma once

#include "scpi/ProgramMessage.h"

#include <string>
#include <vector>

namespace rz417::scpi {

enum class CommandId {
    Idn,
    Rst,
    Cls,
    Ese,
    Esr,
    Sre,
    Stb,
    Opc,
    Wai,
    Tst,
    SystemError,
    SystemErrorCount,
    SystemVersion,
    StatusOperationEvent,
    StatusOperationCondition,
    StatusOperationEnable,
    StatusQuestionableEvent,
    StatusQuestionableCondition,
    StatusQuestionableEnable,
    StatusPreset,
    Voltage,
    Current,
    Power,
    Resistance,
    Function,
    Input,
    MeasureVoltage,
    MeasureCurrent,
    MeasurePower,
};

// The command a header names, or the error that says why it names none.
struct HeaderMatch
{
    bool found = false;
    CommandId id = CommandId::Idn;
    int errorCode = 0;
    std::string errorText;
};

// Looks up a header given as its whole path from the root (the message's path already applied),
// in short or long form and any case.
HeaderMatch findCommand(const std::vector<Node> &path, bool common, bool query);

} // namespace rz417::scpi
