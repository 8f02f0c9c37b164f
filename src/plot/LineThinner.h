#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>
#include <vector>

namespace rz417 {

struct PlotPoint
{
    double t;     // seconds from the plot's start
    double value; // in the line's unit
};

// Which of columns pixel columns a time from 0 to end falls on.
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

// One line's points thinned to columns pixel columns for 0 to end.
std::vector<PlotPoint> thinnedPoints(const std::vector<PlotPoint> &points, double end, int columns);

} // namespace rz417
