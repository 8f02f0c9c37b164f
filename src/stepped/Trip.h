#pragma once

#include "measure/Parameters.h"
#include "stepped/SteppedRun.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace rz417::stepped {

// Where a power supply's over-current (CC) or over-power (CP) protection trips: a ramp of the
// load's setpoint, a reading after each step, until a reading below the trip voltage is
// confirmed by a second; then, if asked, a bisection between the last good setpoint and the
// tripping one, each probe after a recovery with the input off.
struct TripSetup : MeterSetup
{
    int16_t mode = 0;                      // CC (ocp) or CP (opp)
    std::optional<int32_t> from, to, step; // in the mode's steps
    std::optional<double> tripVolts;
    std::chrono::milliseconds dwell{500};
    bool refine = false;
    std::chrono::milliseconds recover{2000};
};

// The test's parameters for CC (ocp) or CP (opp).
const std::vector<measure::Parameter<TripSetup>> &tripParameters(int16_t mode);
std::optional<TripSetup> readTripSetup(int16_t mode, const measure::Texts &texts,
                                       measure::Naming naming, std::string &why);

class TripRun : public SteppedRun
{
public:
    explicit TripRun(const TripSetup &setup);

    enum class Outcome { None, Tripped, NoTrip, Latched };
    Outcome outcome() const { return m_outcome; }
    // The lowest setpoint that tripped and the highest that did not, in the mode's unit.
    std::optional<double> tripAt() const;
    std::optional<double> lastGood() const;
    std::optional<double> lastGoodVolts() const { return m_lastGoodVolts; }
    std::optional<double> maxPower() const { return m_maxPower; }
    std::optional<bool> latched() const { return m_latched; }

    measure::RunEndWords endWords(const measure::RunResult &result, bool inputWasOn,
                                  bool off) const override;
    std::string summaryJson(const measure::RunResult &result, bool off,
                            const std::optional<std::string> &meterIdn) const override;

protected:
    std::optional<measure::RunResult> reading(const Point &point, Micros at,
                                              measure::FrameOut &out) override;

private:
    enum class Phase { NoLoad, Ramp, Confirm, Recover, Probe, ProbeConfirm };

    std::optional<measure::RunResult> noLoad(const Point &point, Micros at, measure::FrameOut &out);
    std::optional<measure::RunResult> good(const Point &point, Micros at, measure::FrameOut &out);
    std::optional<measure::RunResult> tripped(Micros at, measure::FrameOut &out);
    std::optional<measure::RunResult> recovered(const Point &point, Micros at,
                                                measure::FrameOut &out);
    // The next probe between the last good and the lowest tripping setpoint; none once they
    // are a frame's step apart.
    std::optional<int32_t> nextProbe() const;
    std::optional<measure::RunResult> done(Outcome outcome);

    TripSetup m_setup;
    Phase m_phase = Phase::NoLoad;
    Outcome m_outcome = Outcome::None;
    std::optional<int32_t> m_trip;
    std::optional<int32_t> m_good;
    std::optional<double> m_lastGoodVolts;
    std::optional<double> m_maxPower;
    std::optional<bool> m_latched;
};

} // namespace rz417::stepped
