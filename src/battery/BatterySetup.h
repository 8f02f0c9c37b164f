#pragma once

#include "battery/BatteryRun.h"
#include "battery/BatteryWords.h"

#include <optional>
#include <string>

namespace rz417::battery {

// A battery test as the battery window's fields give it, as typed; empty for a field left empty.
struct SetupTexts
{
    std::string mode; // "CC", "CP" or "CR"
    std::string value;
    std::string cutoff;
    std::string capacity;
    std::string energy;
    std::string time;
    std::string meter; // empty: no meter
    std::string query;
    std::string interval;
};

struct Setup
{
    DischargePlan plan;
    Stops stops;
    std::optional<MeterAddress> meter;
};

// The test that the fields describe, with the same values, units and ranges as rz417ctl battery;
// nothing when one is wrong, with why, naming the field, what is wrong and what is allowed.
std::optional<Setup> readSetup(const SetupTexts &texts, std::string &why);

} // namespace rz417::battery
