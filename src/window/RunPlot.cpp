#include "window/RunPlot.h"

#include "battery/BatteryRun.h"

namespace rz417 {

void DischargePlot::started(const measure::MeasuredRun &run)
{
    const auto *discharge = dynamic_cast<const battery::DischargeRun *>(&run);
    const auto stop = discharge ? discharge->timeStop() : std::nullopt;
    clear(stop ? std::optional(static_cast<double>(stop->count()) / 1000) : std::nullopt);
}

void DischargePlot::counted(const measure::MeasuredRun &run)
{
    if (const auto *discharge = dynamic_cast<const battery::DischargeRun *>(&run)) {
        const battery::Sample &sample = discharge->discharge().last();
        add(sample.seconds, sample.volts, sample.ampHours);
    }
}

} // namespace rz417
