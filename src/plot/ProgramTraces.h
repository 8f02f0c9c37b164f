#pragma once

#include "plot/LineThinner.h"
#include "program/Program.h"

#include <cstdint>
#include <string>
#include <vector>

namespace rz417 {

struct TimeInterval
{
    double from;
    double to;
};

// One mode's setpoint against time: a level for each step while the mode is set, input-only
// steps included. Another mode's steps leave a gap, after which a new run of levels starts.
struct ModeTrace
{
    struct Level
    {
        double from;
        double to;
        double value;
        bool startsRun; // after a gap, or the mode's first
    };

    int16_t mode;
    std::vector<Level> levels;
    double top = 0; // the highest value
};

// What the plot of one pass shows.
struct ProgramTraces
{
    double end = 1;               // the pass in seconds; 1 for a pass without length
    std::vector<ModeTrace> modes; // in the order of their first steps
    std::vector<TimeInterval> inputOn;
};

ProgramTraces programTraces(const Program &program);

// The trace's lines across columns pixel columns for 0 to end: of all the points that fall on
// one column only the first, the lowest, the highest and the last are kept, which draw the
// same pixels, and a gap narrower than a column is no gap.
std::vector<std::vector<PlotPoint>> thinnedLines(const ModeTrace &trace, double end, int columns);

// The intervals with those that meet within one column joined.
std::vector<TimeInterval> thinnedIntervals(const std::vector<TimeInterval> &intervals, double end,
                                           int columns);

// "CC (A)", "CR (Ω)" (UTF-8).
std::string axisTitle(int16_t mode);

} // namespace rz417
