#pragma once

#include "battery/BatteryRun.h"
#include "battery/BatteryWords.h"

#include <memory>
#include <string>

namespace rz417::cli {

// A bench meter at its address (a raw SCPI socket or a serial line), connected; nothing with
// why when it cannot be reached. Each query waits at most two seconds for its answer.
std::unique_ptr<battery::Meter> connectMeter(const battery::MeterAddress &address,
                                             std::string &why);

} // namespace rz417::cli
