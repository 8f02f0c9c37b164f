#include "plot/ProgramTraces.h"

#include "plot/LineThinner.h"
#include "protocol/Modes.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <optional>

namespace rz417 {

namespace {

double seconds(std::chrono::milliseconds t)
{
    return static_cast<double>(t.count()) / 1000.0;
}

double unitValue(int32_t setpoint, int decimals)
{
    return static_cast<double>(setpoint) / std::pow(10.0, decimals);
}

} // namespace

ProgramTraces programTraces(const Program &program)
{
    ProgramTraces traces;
    const double duration = seconds(program.duration());
    traces.end = duration > 0 ? duration : 1;

    std::map<int16_t, std::size_t> traceOfMode;
    std::optional<std::size_t> current; // the trace of the mode set last
    double value = 0;
    // A flag and a time rather than an optional, which GCC 12 takes for read uninitialised.
    bool on = false;
    double onSince = 0;
    for (const ProgramStep &step : program.steps) {
        const double from = seconds(step.start);
        const double to = seconds(step.start + step.dwell);
        bool startsRun = false;
        if (const ModeInfo *info = modeInfo(step.mode)) {
            if (!current || traces.modes[*current].mode != step.mode) {
                const auto [at, added] = traceOfMode.try_emplace(step.mode, traces.modes.size());
                if (added)
                    traces.modes.push_back({step.mode, {}, 0});
                current = at->second;
                startsRun = true;
            }
            value = unitValue(step.setpoint, info->decimals);
        }
        if (current) {
            ModeTrace &trace = traces.modes[*current];
            trace.levels.push_back({from, to, value, startsRun});
            trace.top = std::max(trace.top, value);
        }
        if (step.input) {
            if (*step.input && !on) {
                onSince = from;
            } else if (!*step.input && on) {
                if (from > onSince)
                    traces.inputOn.push_back({onSince, from});
            }
            on = *step.input;
        }
    }
    if (on && traces.end > onSince)
        traces.inputOn.push_back({onSince, traces.end});
    return traces;
}

std::vector<std::vector<PlotPoint>> thinnedLines(const ModeTrace &trace, double end, int columns)
{
    if (columns < 1 || !(end > 0))
        return {};
    LineThinner thinner(end, columns);
    for (const ModeTrace::Level &level : trace.levels) {
        // A level that follows another rises or falls from it at its start.
        thinner.add({level.from, level.value}, level.startsRun);
        thinner.add({level.to, level.value}, false);
    }
    return thinner.finish();
}

std::vector<TimeInterval> thinnedIntervals(const std::vector<TimeInterval> &intervals, double end,
                                           int columns)
{
    if (columns < 1 || !(end > 0))
        return {};
    const ColumnMap columnOf(end, columns);
    std::vector<TimeInterval> joined;
    for (const TimeInterval &interval : intervals) {
        if (!joined.empty() && columnOf(interval.from) <= columnOf(joined.back().to))
            joined.back().to = std::max(joined.back().to, interval.to);
        else
            joined.push_back(interval);
    }
    return joined;
}

std::string axisTitle(int16_t mode)
{
    const ModeInfo *info = modeInfo(mode);
    return info ? std::string(info->name) + " (" + info->unitCaption + ")" : std::string();
}

} // namespace rz417
