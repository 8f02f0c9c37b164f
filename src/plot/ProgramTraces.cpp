#include "plot/ProgramTraces.h"

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

class ColumnMap
{
public:
    ColumnMap(double end, int columns) : m_perSecond(columns / end), m_columns(columns) {}
    int operator()(double t) const
    {
        const double c = std::floor(t * m_perSecond);
        return c <= 0 ? 0 : c >= m_columns - 1 ? m_columns - 1 : static_cast<int>(c);
    }
    double perSecond() const { return m_perSecond; }

private:
    double m_perSecond;
    int m_columns;
};

// Gathers a line's points column by column, keeping the first, lowest, highest and last of each.
class LineThinner
{
public:
    LineThinner(double end, int columns) : m_columnOf(end, columns) {}

    void add(PlotPoint p, bool startsRun)
    {
        // A gap narrower than a column shows as none.
        const bool breaks =
            m_lines.empty() || (startsRun && (p.t - m_lastT) * m_columnOf.perSecond() >= 1);
        m_lastT = p.t;
        const int column = m_columnOf(p.t);
        if (breaks || column != m_column) {
            flush();
            if (breaks)
                m_lines.emplace_back();
            m_column = column;
            m_count = 0;
            m_first = m_low = m_high = m_last = {p, 0};
            return;
        }
        const Kept kept{p, ++m_count};
        m_last = kept;
        if (p.value < m_low.point.value)
            m_low = kept;
        if (p.value > m_high.point.value)
            m_high = kept;
    }

    std::vector<std::vector<PlotPoint>> finish()
    {
        flush();
        return std::move(m_lines);
    }

private:
    struct Kept
    {
        PlotPoint point;
        long order; // within the column
    };

    void flush()
    {
        if (m_column < 0)
            return;
        std::array<Kept, 4> kept = {m_first, m_low, m_high, m_last};
        std::sort(kept.begin(), kept.end(),
                  [](const Kept &a, const Kept &b) { return a.order < b.order; });
        long previous = -1;
        for (const Kept &k : kept) {
            if (k.order != previous)
                m_lines.back().push_back(k.point);
            previous = k.order;
        }
        m_column = -1;
    }

    ColumnMap m_columnOf;
    std::vector<std::vector<PlotPoint>> m_lines;
    int m_column = -1;
    double m_lastT = 0;
    long m_count = 0;
    Kept m_first{}, m_low{}, m_high{}, m_last{};
};

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
