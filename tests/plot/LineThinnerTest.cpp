#include "plot/LineThinner.h"

#include <gtest/gtest.h>

namespace rz417 {
namespace {

std::vector<double> times(const std::vector<PlotPoint> &points)
{
    std::vector<double> t;
    for (const PlotPoint &p : points)
        t.push_back(p.t);
    return t;
}

// A reading's line over 10 s on 10 columns: each column keeps its first, lowest, highest and
// last readings, in the order they came.
TEST(LineThinner, EachColumnKeepsWhatItShows)
{
    const struct
    {
        const char *name;
        std::vector<PlotPoint> points;
        std::vector<double> kept;
    } rows[] = {
        {"none", {}, {}},
        {"one", {{0.5, 3}}, {0.5}},
        {"a column's first, lowest, highest and last",
         {{1.0, 3}, {1.1, 2}, {1.2, 2.5}, {1.3, 4}, {1.4, 3.5}, {1.5, 3.2}},
         {1.0, 1.1, 1.3, 1.5}},
        {"one per column, all kept", {{0.5, 1}, {1.5, 2}, {2.5, 3}}, {0.5, 1.5, 2.5}},
        {"beyond the end, on the last column", {{9.5, 1}, {12, 2}, {13, 0.5}}, {9.5, 12, 13}},
    };
    for (const auto &row : rows)
        EXPECT_EQ(times(thinnedPoints(row.points, 10, 10)), row.kept) << row.name;
    EXPECT_TRUE(thinnedPoints({{1, 1}}, 10, 0).empty());
}

} // namespace
} // namespace rz417
