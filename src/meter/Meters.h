#pragma once

#include "battery/BatteryRun.h"
#include "battery/BatteryWords.h"

#include <QIODevice>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace rz417::meter {

// A bench meter at its address (a raw SCPI socket or a serial line), connected; nothing with
// why when it cannot be reached. Each query waits at most two seconds for its answer.
std::unique_ptr<battery::Meter> connectMeter(const battery::MeterAddress &address,
                                             std::string &why);

// Sends a query and reads one answer line within kAnswerMs; the reason when none came.
std::optional<std::string> readAnswer(QIODevice &device, const std::string &query, std::string &why,
                                      const std::function<bool(int)> &waitForReadyRead);

// The serial meter, a file per system.
std::unique_ptr<battery::Meter> connectSerialMeter(const battery::MeterAddress &address,
                                                   std::string &why);

// How long a query waits for its answer.
constexpr int kAnswerMs = 2000;

} // namespace rz417::meter
