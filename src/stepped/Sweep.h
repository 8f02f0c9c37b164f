#pragma once

#include "measure/Parameters.h"
#include "stepped/SteppedRun.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace rz417::stepped {

// An I-V curve: the open-circuit voltage with the input off, then each setpoint from FROM to
// TO in STEP (TO the last whatever the span), a reading after each, until TO or a reading below
// the stop voltage.
struct SweepSetup : MeterSetup
{
    int16_t mode = 0; // CC, CP or CR
    std::optional<int32_t> from, to, step;
    std::chrono::milliseconds dwell{500};
    std::optional<double> stopBelow;
};

const std::vector<measure::Parameter<SweepSetup>> &sweepParameters();
std::optional<SweepSetup> readSweepSetup(const measure::Texts &texts, measure::Naming naming,
                                         std::string &why);

class SweepRun : public SteppedRun
{
public:
    explicit SweepRun(const SweepSetup &setup);

    // The readings with the input on, the one below the stop voltage included.
    long curvePoints() const;
    // The reading with the largest V x I.
    std::optional<Point> maxPowerPoint() const;
    // Where the curve, between its last two readings, reaches the stop voltage; nothing when it
    // did not.
    std::optional<double> shortCircuitAmps() const;
    std::optional<double> fillFactor() const;
    bool fellBelow() const { return m_fellBelow; }

    measure::RunEndWords endWords(const measure::RunResult &result, bool inputWasOn,
                                  bool off) const override;
    std::string summaryJson(const measure::RunResult &result, bool off,
                            const std::optional<std::string> &meterIdn) const override;

protected:
    std::optional<measure::RunResult> reading(const Point &point, Micros at,
                                              measure::FrameOut &out) override;

private:
    SweepSetup m_setup;
    bool m_fellBelow = false;
};

} // namespace rz417::stepped
