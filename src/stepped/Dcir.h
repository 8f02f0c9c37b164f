#pragma once

#include "measure/Parameters.h"
#include "protocol/Modes.h"
#include "stepped/SteppedRun.h"

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace rz417::stepped {

// A battery's DC internal resistance by two current steps: CC at the low current, V1 read at
// the end of its time; the high current, V2 read at the end of its; the input off; R = (V1 - V2)
// / (I_high - I_low). Repeated after a rest with the input off. The phases keep an absolute
// schedule from the first frame.
struct DcirSetup : MeterSetup
{
    int16_t mode = ModeCodes::CC;
    std::optional<int32_t> low, high; // CC, in milliamperes
    std::chrono::milliseconds lowTime{10000};
    std::chrono::milliseconds highTime{1000};
    int repeat = 1;
    std::chrono::milliseconds rest{30000};
};

const std::vector<measure::Parameter<DcirSetup>> &dcirParameters();
std::optional<DcirSetup> readDcirSetup(const measure::Texts &texts, measure::Naming naming,
                                       std::string &why);

struct DcirResult
{
    double lowVolts = 0;
    double highVolts = 0;
    double ohms = 0;
};

class DcirRun : public SteppedRun
{
public:
    explicit DcirRun(const DcirSetup &setup);

    const std::vector<DcirResult> &results() const { return m_results; }
    std::optional<double> meanOhms() const;
    // The currents as their frames carried them.
    double lowAmps() const { return units(*m_setup.low); }
    double highAmps() const { return units(*m_setup.high); }

    measure::RunEndWords endWords(const measure::RunResult &result, bool inputWasOn,
                                  bool off) const override;
    std::string summaryJson(const measure::RunResult &result, bool off,
                            const std::optional<std::string> &meterIdn) const override;

protected:
    std::optional<measure::RunResult> reading(const Point &point, Micros at,
                                              measure::FrameOut &out) override;

private:
    enum class Phase { Rest, Low, High };
    // From the first frame: when the run's phase ends.
    Micros phaseEnd(int run, Phase phase) const;

    DcirSetup m_setup;
    Phase m_phase = Phase::Rest;
    int m_run = 0;
    Micros m_origin{0};
    double m_lowVolts = 0;
    std::vector<DcirResult> m_results;
};

} // namespace rz417::stepped
