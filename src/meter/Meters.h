#pragma once

#include "battery/BatteryRun.h"
#include "battery/BatteryWords.h"

#include <QIODevice>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace rz417::meter {

// Whether the run that asks was stopped (a signal): a query stops waiting for its answer.
using MeterStop = std::function<bool()>;

// A bench meter at its address (a raw SCPI socket or a serial line), connected; nothing with
// why when it cannot be reached. Each query waits at most two seconds for its answer, counted
// from the query, and less when stopped says so.
std::unique_ptr<measure::Meter> connectMeter(const battery::MeterAddress &address, std::string &why,
                                             MeterStop stopped = {});

// The meter connected and asked who it is, as every run greets it: nothing, with why, when it
// cannot be reached or does not answer.
std::unique_ptr<measure::Meter> greetMeter(const battery::MeterAddress &address,
                                           std::string &identity, std::string &why,
                                           MeterStop stopped = {});

// Throws away what waits in the device's input (a late or an extra line), sends the query and
// reads one answer line within kAnswerMs of it; the reason when none came.
std::optional<std::string> readAnswer(QIODevice &device, const std::string &query, std::string &why,
                                      const std::function<bool(int)> &waitForReadyRead,
                                      const MeterStop &stopped = {});

// The serial meter, a file per system.
std::unique_ptr<measure::Meter> connectSerialMeter(const battery::MeterAddress &address,
                                                   std::string &why, MeterStop stopped);

// How long a query waits for its answer.
constexpr int kAnswerMs = 2000;
// Why a query that waited kAnswerMs failed: "no answer within 2 s".
std::string noAnswerText();

} // namespace rz417::meter
