#include "battery/BatteryRun.h"

#include "battery/BatteryWords.h"
#include "protocol/Frame.h"
#include "protocol/SetpointValue.h"

namespace rz417::battery {

DischargeResult runDischarge(const DischargePlan &plan, Discharge &discharge, Meter *meter,
                             FrameOut &out, Clock &clock, Sleeper &sleeper, ReadingSink &sink,
                             std::optional<std::chrono::milliseconds> timeStop)
{
    if (!out.send(setpointFrame(plan.mode, plan.value), setpointMeaning(plan.mode, plan.value)))
        return {DischargeEnd::LineFailed, "the setpoint did not go out"};
    if (!out.send(inputFrame(true), inputMeaning(true)))
        return {DischargeEnd::LineFailed, "the input-on frame did not go out"};
    const SteadyTime start = clock.now();
    for (long k = 0;; ++k) {
        auto due = std::chrono::milliseconds(plan.interval.count() * k);
        if (timeStop && due > *timeStop)
            due = *timeStop;
        if (!sleeper.sleepUntil(start + due))
            return {DischargeEnd::Interrupted, {}};
        std::optional<double> volts;
        if (meter) {
            std::string why;
            const auto answer = meter->ask(plan.query, why);
            if (answer)
                volts = parseReading(*answer);
            if (!volts)
                return {DischargeEnd::MeterFailed,
                        answer ? "it answered " + quotedWord(*answer) + ", which is no number"
                               : why};
        }
        sink.reading(discharge.take(std::chrono::duration<double>(due).count(), volts));
        if (discharge.stopped() != StopReason::None)
            return {DischargeEnd::Stopped, {}};
    }
}

} // namespace rz417::battery
