#pragma once

#include "measure/Parameters.h"

#include <cstdint>
#include <optional>
#include <string>

namespace rz417::battery {

// What ends a discharge; the first that is met.
struct Stops
{
    std::optional<int64_t> cutoffMillivolts; // two readings in a row below it
    std::optional<int64_t> capacityMicroAh;
    std::optional<int64_t> energyMilliWh;
    std::optional<int64_t> timeMs;
};

enum class StopReason { None, Cutoff, Capacity, Energy, Time };

// One reading and the totals up to it. What cannot be known without the voltage is empty.
struct Sample
{
    double seconds = 0; // from the input going on
    std::optional<double> volts;
    std::optional<double> amps;
    std::optional<double> watts;
    double ampHours = 0;
    double wattHours = 0;
    // The current that P/V or V/R gives was above what the load can draw, and was counted as
    // that much.
    bool bounded = false;
};

// The current and power of a reading, as counted from the setpoint and the measured voltage:
// CC as commanded, CP P/V, CR V/R, never above the load's 15 A and 200 W (bounded then).
struct Counted
{
    std::optional<double> amps;
    std::optional<double> watts;
    bool bounded = false;
};
Counted countReading(int16_t mode, double setpoint, std::optional<double> volts);

// A battery discharged by the load in CC, CP or CR, counted from readings: the current is the
// one commanded (CC) or follows from the measured voltage (CP: P/V, CR: V/R, never above the
// load's 15 A and 200 W), and capacity and energy are integrated between readings (trapezoids)
// from the moment the input went on.
class Discharge
{
public:
    // mode: a mode code; setpoint: in amperes, watts or ohms, as it was sent.
    Discharge(int16_t mode, double setpoint, Stops stops);

    // Why a test cannot be run so (CV, no stop, a stop that cannot be counted without a
    // meter), or nothing; the stops and the meter named as the command line's options or as
    // the battery window's fields.
    static std::string refusal(int16_t mode, const Stops &stops, bool metered,
                               measure::Naming naming = measure::Naming::Option);

    // A reading at seconds from the input going on, with the meter's voltage or without one.
    const Sample &take(double seconds, std::optional<double> volts);

    StopReason stopped() const { return m_stopped; }
    const Sample &last() const { return m_last; }
    // The mean of the measured voltages, time-weighted; nothing without them.
    std::optional<double> meanVolts() const;
    // How many readings were counted, and in how many the current was bounded.
    long readings() const { return m_readings; }
    long boundedReadings() const { return m_bounded; }

private:
    // Capacity and energy up to the reading (trapezoids), and the voltage's time-weighted sum.
    void integrate(Sample &next);
    void checkStops(double seconds, const std::optional<double> &volts);

    int16_t m_mode;
    double m_setpoint;
    Stops m_stops;
    Sample m_last;
    bool m_started = false;
    int m_belowCutoff = 0;
    double m_voltSeconds = 0;
    double m_voltTime = 0;
    long m_readings = 0;
    long m_bounded = 0;
    StopReason m_stopped = StopReason::None;
};

const char *stopText(StopReason reason);

// The most the load draws: the tops of its CC and CP ranges, 15 A and 200 W.
double loadMostAmps();
double loadMostWatts();

} // namespace rz417::battery
