#include "plot/LineThinner.h"

namespace rz417 {

std::vector<PlotPoint> thinnedPoints(const std::vector<PlotPoint> &points, double end, int columns)
{
    if (columns < 1 || !(end > 0) || points.empty())
        return {};
    LineThinner thinner(end, columns);
    for (const PlotPoint &p : points)
        thinner.add(p, false);
    auto lines = thinner.finish();
    return lines.empty() ? std::vector<PlotPoint>() : std::move(lines.front());
}

} // namespace rz417
