// What the program plot is made of: each mode's levels and runs, the input-on intervals, and
// lines and intervals thinned to the pixel columns without changing what a column shows.
#include "plot/ProgramTraces.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>

// Found by argument-dependent lookup, so beside the types.
namespace rz417 {
static bool operator==(const ModeTrace::Level &a, const ModeTrace::Level &b)
{
    return a.from == b.from && a.to == b.to && a.value == b.value && a.startsRun == b.startsRun;
}

static bool operator==(const TimeInterval &a, const TimeInterval &b)
{
    return a.from == b.from && a.to == b.to;
}

static std::ostream &operator<<(std::ostream &out, const ModeTrace::Level &l)
{
    return out << "{" << l.from << ".." << l.to << " " << l.value << (l.startsRun ? " run" : "")
               << "}";
}

static std::ostream &operator<<(std::ostream &out, const TimeInterval &i)
{
    return out << "{" << i.from << ".." << i.to << "}";
}
} // namespace rz417

namespace rz417::test {
namespace {

using Level = ModeTrace::Level;

TEST(ProgramTraces, LevelsRunsAndInputIntervals)
{
    const struct
    {
        const char *name;
        const char *rows; // after the header mode,setpoint,input,dwell
        double end;
        std::map<int16_t, std::vector<Level>> levels;
        std::vector<TimeInterval> inputOn;
    } cases[] = {
        {"an input-only step keeps the mode; another mode leaves a gap",
         "CC,0.5,on,1\nCV,12,,1\n,,off,0.5\nCC,1,,1\n",
         3.5,
         {{2, {{0, 1, 0.5, true}, {2.5, 3.5, 1, true}}},
          {1, {{1, 2, 12, true}, {2, 2.5, 12, false}}}},
         {{0, 2}}},
        {"the input left on is on to the end; the unit's decimals",
         "CR,47.5,on,2\nCR,0.1,,1.5\nCP,200.0,,0.5\n",
         4,
         {{4, {{0, 2, 47.5, true}, {2, 3.5, 0.1, false}}}, {3, {{3.5, 4, 200, true}}}},
         {{0, 4}}},
        {"steps before the first mode draw no line; on again is no new interval",
         ",,on,1\n,,on,1\nCV,1.5,off,1\n,,off,1\n,,on,0.5\n,,off,0\n",
         4.5,
         {{1,
           {{2, 3, 1.5, true}, {3, 4, 1.5, false}, {4, 4.5, 1.5, false}, {4.5, 4.5, 1.5, false}}}},
         {{0, 2}, {4, 4.5}}},
        {"a pass without length spans a second",
         "CC,2,on,0\n",
         1,
         {{2, {{0, 0, 2, true}}}},
         {{0, 1}}},
    };
    for (const auto &c : cases) {
        const Program program = parseProgram(std::string("mode,setpoint,input,dwell\n") + c.rows);
        ASSERT_TRUE(program.problems.empty()) << c.name << ": " << program.problems[0].message;
        const ProgramTraces traces = programTraces(program);
        EXPECT_DOUBLE_EQ(traces.end, c.end) << c.name;
        ASSERT_EQ(traces.modes.size(), c.levels.size()) << c.name;
        for (const ModeTrace &trace : traces.modes) {
            const std::vector<Level> &expected = c.levels.at(trace.mode);
            EXPECT_EQ(trace.levels, expected) << c.name << ", mode " << trace.mode;
            double top = 0;
            for (const Level &l : expected)
                top = std::max(top, l.value);
            EXPECT_DOUBLE_EQ(trace.top, top) << c.name;
        }
        EXPECT_EQ(traces.inputOn, c.inputOn) << c.name;
    }
    // In the order of their first steps.
    EXPECT_EQ(programTraces(parseProgram("mode,setpoint,dwell\nCR,1,1\nCV,1,1\nCR,2,1\n"))
                  .modes.front()
                  .mode,
              4);
    EXPECT_EQ(axisTitle(4), "CR (\u03A9)");
}

// The first, lowest, highest and last point of each column, in their order.
std::map<int, std::vector<double>> columnSummary(const std::vector<std::vector<PlotPoint>> &lines,
                                                 double end, int columns)
{
    std::map<int, std::vector<double>> summary; // column -> first, low, high, last
    for (const auto &line : lines) {
        for (const PlotPoint &p : line) {
            const int c =
                std::clamp(static_cast<int>(std::floor(p.t * columns / end)), 0, columns - 1);
            auto [at, added] = summary.try_emplace(c, std::vector<double>(4, p.value));
            std::vector<double> &s = at->second;
            s[1] = std::min(s[1], p.value);
            s[2] = std::max(s[2], p.value);
            s[3] = p.value;
        }
    }
    return summary;
}

TEST(ProgramTraces, ThinnedLinesShowWhatEachColumnShows)
{
    // 100,000 steps, the mode changing at every fifth: what the longest file can hold.
    std::string rows = "mode,setpoint,dwell\n";
    for (int i = 0; i < 100000; ++i) {
        rows += i % 5 == 4 ? "CV," : "CC,";
        rows += std::to_string((i * 7919) % 1500 / 100.0) + ",0.01\n";
    }
    const ProgramTraces traces = programTraces(parseProgram(rows));
    ASSERT_EQ(traces.modes.size(), 2u);
    for (const int columns : {1, 640, 3000}) {
        for (const ModeTrace &trace : traces.modes) {
            const auto thinned = thinnedLines(trace, traces.end, columns);
            std::vector<std::vector<PlotPoint>> raw(1);
            for (const Level &l : trace.levels) {
                raw.back().push_back({l.from, l.value});
                raw.back().push_back({l.to, l.value});
            }
            EXPECT_EQ(columnSummary(thinned, traces.end, columns),
                      columnSummary(raw, traces.end, columns))
                << columns << " columns, mode " << trace.mode;
            std::size_t points = 0;
            for (const auto &line : thinned)
                points += line.size();
            EXPECT_LE(points, 4u * static_cast<std::size_t>(columns)) << columns;
            // The gaps of 10 and 40 ms are narrower than a column.
            EXPECT_EQ(thinned.size(), 1u) << columns;
        }
    }

    // A program far shorter than the columns keeps every point, and a visible gap.
    const ModeTrace cc =
        programTraces(parseProgram("mode,setpoint,dwell\nCC,1,1\nCC,2,1\nCV,1,1\nCC,3,1\n"))
            .modes.front();
    const auto lines = thinnedLines(cc, 4, 400);
    ASSERT_EQ(lines.size(), 2u);
    const auto xy = [](const std::vector<PlotPoint> &line) {
        std::vector<std::pair<double, double>> out;
        for (const PlotPoint &p : line)
            out.emplace_back(p.t, p.value);
        return out;
    };
    EXPECT_EQ(xy(lines[0]),
              (std::vector<std::pair<double, double>>{{0, 1}, {1, 1}, {1, 2}, {2, 2}}));
    EXPECT_EQ(xy(lines[1]), (std::vector<std::pair<double, double>>{{3, 3}, {4, 3}}));
}

TEST(ProgramTraces, ThinnedIntervalsJoinWithinAColumn)
{
    const struct
    {
        int columns;
        std::vector<TimeInterval> intervals, expected;
    } cases[] = {
        {100, {{0, 1}, {2, 3}}, {{0, 1}, {2, 3}}},
        // Columns of 0.1 s: 1.0 to 1.05 lies in one column.
        {100, {{0, 1}, {1.05, 2}, {5, 10}}, {{0, 2}, {5, 10}}},
        {1, {{0, 1}, {2, 3}, {4, 5}}, {{0, 5}}},
        {100, {}, {}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(thinnedIntervals(c.intervals, 10, c.columns), c.expected) << c.columns;
}

} // namespace
} // namespace rz417::test
