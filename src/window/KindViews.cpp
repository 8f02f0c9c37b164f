#include "window/KindViews.h"

#include "window/RunPlot.h"
#include "window/SteppedPlots.h"

#include <cstring>

namespace rz417 {

namespace {

RunPlot *dischargePlot(QWidget *parent)
{
    return new DischargePlot(parent);
}

RunPlot *tripPlot(QWidget *parent)
{
    return new SetpointPlot(SetpointPlot::trip, parent);
}

RunPlot *sweepPlot(QWidget *parent)
{
    return new SetpointPlot(SetpointPlot::maxPower, parent);
}

RunPlot *voltsPlot(QWidget *parent)
{
    return new VoltsPlot(parent);
}

constexpr const char *kRampPrompt =
    "Give the ramp, the trip voltage and a meter on the supply; then Start.";

const KindView kViews[] = {
    {"battery", "a battery test", "Battery Test Log",
     "Give a stop, and a meter for the voltage; then Start.", dischargePlot},
    {"ocp", "an OCP test", "OCP Test Log", kRampPrompt, tripPlot},
    {"opp", "an OPP test", "OPP Test Log", kRampPrompt, tripPlot},
    {"sweep", "a sweep", "I-V Sweep Log", "Give the sweep and a meter on the source; then Start.",
     sweepPlot},
    {"dcir", "a DCIR test", "Internal Resistance Log",
     "Give the two currents and a meter on the battery; then Start.", voltsPlot},
};

const KindView kPlain{"", "a measured test", "Test Log",
                      "Give the test's values and a meter; then Start.", voltsPlot};

} // namespace

const KindView &kindView(const kinds::Kind &kind)
{
    for (const KindView &view : kViews) {
        if (std::strcmp(view.name, kind.name) == 0)
            return view;
    }
    return kPlain;
}

} // namespace rz417
