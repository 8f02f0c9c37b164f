#pragma once

#include "battery/BatteryRun.h"
#include "battery/BatteryWords.h"
#include "measure/Parameters.h"
#include "measure/RunEnd.h"

#include <optional>
#include <string>
#include <vector>

namespace rz417::battery {

// A battery test as every front end gives it.
struct Setup
{
    DischargePlan plan;
    Stops stops;
    std::optional<MeterAddress> meter;
    std::string log; // the CSV log's file; empty for none
};

// The battery test's parameters, in the order in which the window shows them and they are
// checked: the mode and value (the command's words "cc 2.5"), the stops, the meter, the log.
const std::vector<measure::Parameter<Setup>> &parameters();

// The test that the texts describe, with the values, units and ranges of every front end;
// nothing when one is wrong, with why in the front end's naming: what is wrong and what is
// allowed.
std::optional<Setup> readSetup(const measure::Texts &texts, measure::Naming naming,
                               std::string &why);

// What a test without a meter says as it starts.
constexpr const char *kUnmeteredLine =
    "no meter: the figures are counted from the setpoint, not measured";

// A reading's figures on one line: "0:00:05  3.712 V  1.000 A  0.0014 Ah  0.0052 Wh".
std::string figuresLine(const Sample &sample, const std::string &gap = "  ");

// What a test says at its end: how it ended, its figures once there was a reading, the input.
measure::RunEndWords endWords(const DischargeRun &run, const measure::RunResult &result,
                              bool inputWasOn, bool off);

// The summary as one JSON object on one line, for scripts: what stopped it (stopped_by: cutoff,
// capacity, energy, time, signal, meter, line or log), the duration, the figures in SI units
// (null where not known), the meter's identity, whether the figures were measured and the input
// went off.
std::string summaryJson(const DischargeRun &run, const measure::RunResult &result, bool off,
                        const std::optional<std::string> &meterIdn);

} // namespace rz417::battery
