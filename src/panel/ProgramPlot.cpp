#include "panel/ProgramPlot.h"

#include "protocol/Modes.h"

#include <QAreaSeries>
#include <QChart>
#include <QLegendMarker>
#include <QLineSeries>
#include <QValueAxis>

#include <cmath>
#include <map>

namespace rz417 {

namespace {

// One colour per mode, in ModeCode order.
const QColor kModeColours[] = {QColor(31, 119, 180), QColor(214, 39, 40), QColor(44, 160, 44),
                               QColor(148, 103, 189)};

double seconds(std::chrono::milliseconds t)
{
    return static_cast<double>(t.count()) / 1000.0;
}

} // namespace

// Given its chart at once: a chart view made without one makes its own, which setChart() would
// then drop without deleting.
ProgramPlot::ProgramPlot(const Program &program, QWidget *parent) : QChartView(new QChart, parent)
{
    QChart *chart = this->chart();
    chart->setMargins(QMargins(4, 4, 4, 4));
    chart->legend()->setAlignment(Qt::AlignBottom);
    setRenderHint(QPainter::Antialiasing);

    const double end = std::max(seconds(program.duration()), 0.001);
    auto *timeAxis = new QValueAxis;
    timeAxis->setTitleText(QStringLiteral("Time (s)"));
    timeAxis->setRange(0, end);
    timeAxis->setLabelFormat(QStringLiteral("%g"));
    chart->addAxis(timeAxis, Qt::AlignBottom);

    // A hidden 0..1 axis carries the shading and the cursor.
    auto *unitAxis = new QValueAxis;
    unitAxis->setRange(0, 1);
    unitAxis->setVisible(false);
    chart->addAxis(unitAxis, Qt::AlignRight);

    // The setpoint steps, one series per stretch of a mode; the input's on intervals.
    struct Segment
    {
        int16_t mode;
        QList<QPointF> points;
    };
    std::vector<Segment> segments;
    std::vector<std::pair<double, double>> onIntervals;
    std::map<int16_t, double> top;
    int16_t mode = 0;
    double value = 0;
    std::optional<double> onSince;
    for (const ProgramStep &step : program.steps) {
        const double t0 = seconds(step.start);
        const double t1 = seconds(step.start + step.dwell);
        if (step.mode != 0) {
            const ModeInfo *info = modeInfo(step.mode);
            value = static_cast<double>(step.setpoint) / std::pow(10.0, info->decimals);
            if (step.mode != mode || segments.empty())
                segments.push_back({step.mode, {}});
            mode = step.mode;
            top[mode] = std::max(top[mode], value);
        }
        if (mode != 0) {
            segments.back().points.append(QPointF(t0, value));
            segments.back().points.append(QPointF(t1, value));
        }
        if (step.input) {
            if (*step.input && !onSince)
                onSince = t0;
            else if (!*step.input && onSince) {
                onIntervals.emplace_back(*onSince, t0);
                onSince.reset();
            }
        }
    }
    if (onSince)
        onIntervals.emplace_back(*onSince, end);

    // The on intervals as one shaded area: a line that rises to 1 where the input is on.
    if (!onIntervals.empty()) {
        QList<QPointF> upperPoints;
        for (const auto &[from, to] : onIntervals)
            upperPoints << QPointF(from, 0) << QPointF(from, 1) << QPointF(to, 1) << QPointF(to, 0);
        // The area does not own its lines; the chart does.
        auto *upper = new QLineSeries(chart);
        upper->replace(upperPoints);
        auto *lower = new QLineSeries(chart);
        lower->replace({QPointF(0, 0), QPointF(end, 0)});
        auto *area = new QAreaSeries(upper, lower);
        area->setName(QStringLiteral("input on"));
        area->setColor(QColor(255, 200, 0, 60));
        area->setBorderColor(Qt::transparent);
        chart->addSeries(area);
        area->attachAxis(timeAxis);
        area->attachAxis(unitAxis);
    }

    // A program that changes mode thousands of times would make as many series; past a few
    // dozen a mode's stretches are joined into its last series.
    constexpr int kMaxSeriesPerMode = 48;
    struct Line
    {
        int16_t mode;
        QList<QPointF> points;
    };
    std::vector<Line> lines;
    std::map<int16_t, std::pair<int, std::size_t>> linesOfMode; // count, index of the last
    for (Segment &segment : segments) {
        auto &[count, last] = linesOfMode[segment.mode];
        if (count >= kMaxSeriesPerMode) {
            lines[last].points.append(segment.points);
            continue;
        }
        ++count;
        last = lines.size();
        lines.push_back({segment.mode, std::move(segment.points)});
    }

    std::map<int16_t, QValueAxis *> axes;
    for (const Line &line : lines) {
        const ModeInfo *info = modeInfo(line.mode);
        QValueAxis *&axis = axes[line.mode];
        const bool first = axis == nullptr;
        if (first) {
            axis = new QValueAxis;
            axis->setTitleText(QStringLiteral("%1 (%2)").arg(QString::fromLatin1(info->name),
                                                             QString::fromUtf8(info->unitCaption)));
            axis->setRange(0, top[line.mode] > 0 ? top[line.mode] * 1.1 : 1.0);
            axis->setLabelFormat(QStringLiteral("%g"));
            axis->setLinePenColor(kModeColours[line.mode - 1]);
            axis->setLabelsColor(kModeColours[line.mode - 1]);
            chart->addAxis(axis, axes.size() % 2 == 1 ? Qt::AlignLeft : Qt::AlignRight);
        }
        auto *series = new QLineSeries;
        series->setName(QStringLiteral("%1 setpoint").arg(QString::fromLatin1(info->name)));
        series->replace(line.points);
        QPen pen(kModeColours[line.mode - 1]);
        pen.setWidth(2);
        series->setPen(pen);
        chart->addSeries(series);
        series->attachAxis(timeAxis);
        series->attachAxis(axis);
        for (QLegendMarker *marker : chart->legend()->markers(series))
            marker->setVisible(first);
    }

    m_cursor = new QLineSeries;
    m_cursor->setPen(QPen(Qt::black, 1, Qt::DashLine));
    chart->addSeries(m_cursor);
    m_cursor->attachAxis(timeAxis);
    m_cursor->attachAxis(unitAxis);
    for (QLegendMarker *marker : chart->legend()->markers(m_cursor))
        marker->setVisible(false);
}

void ProgramPlot::setTimeCursor(std::optional<std::chrono::milliseconds> at)
{
    if (!at) {
        m_cursor->clear();
        return;
    }
    const double t = seconds(*at);
    m_cursor->replace({QPointF(t, 0), QPointF(t, 1)});
}

} // namespace rz417
