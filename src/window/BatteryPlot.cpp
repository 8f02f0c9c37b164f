#include "window/BatteryPlot.h"

#include "window/PlotStyle.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>

namespace rz417 {

namespace {

using plotStyle::kFrame;
using plotStyle::kGap;
using plotStyle::kGrid;
using plotStyle::kTick;
using plotStyle::kVoltage;
const QColor kCapacity(220, 110, 0);
using plotStyle::kMaxTicks;

double highest(const std::vector<PlotPoint> &points)
{
    double high = 0;
    for (const PlotPoint &p : points)
        high = std::max(high, p.value);
    return high;
}

} // namespace

BatteryPlot::BatteryPlot(QWidget *parent) : PlotCanvas(parent)
{
    setObjectName(QStringLiteral("BatteryPlot"));
}

void BatteryPlot::clear(std::optional<double> span)
{
    m_span = span;
    m_volts.clear();
    m_capacity.clear();
    redraw();
}

void BatteryPlot::add(double seconds, std::optional<double> volts, double ampHours)
{
    if (volts)
        m_volts.push_back({seconds, *volts});
    m_capacity.push_back({seconds, ampHours});
    redraw();
}

void BatteryPlot::drawPicture(QPainter &painter) const
{
    const QFontMetricsF metrics(font());
    const double line = metrics.height();
    ValueAxis volts{QStringLiteral("Voltage (V)"), kVoltage,
                    axisScale(std::max(highest(m_volts), 1.0), kMaxTicks, -3, true), true};
    ValueAxis capacity{QStringLiteral("Capacity (Ah)"), kCapacity,
                       axisScale(std::max(highest(m_capacity), 0.001), kMaxTicks, -6, true), false};
    volts.labelWidth = widestLabel(metrics, volts.scale);
    capacity.labelWidth = widestLabel(metrics, capacity.scale);
    const double left = axisWidth(volts);
    const double right = axisWidth(capacity);
    const double below = kTick + kGap + line + kGap + QFontMetricsF(titleFont(font())).height();
    const QRectF plot(left, line, width() - left - right, height() - 2 * line - below);
    if (plot.width() < 40 || plot.height() < 40)
        return;

    // Before the first reading the axes show a minute; then they follow the test.
    const double last = m_capacity.empty() ? 0 : m_capacity.back().t;
    const AxisScale time = axisScale(std::max(m_span.value_or(last), 60.0), kMaxTicks, 0, true);
    painter.setPen(QPen(kGrid, 0));
    for (const AxisTick &tick : time.ticks) {
        const double x = plot.left() + tick.value / time.high * plot.width();
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    }
    painter.setPen(QPen(kFrame, 0));
    painter.drawRect(plot);
    drawCurve(painter, plot, m_capacity, capacity, time.high);
    drawCurve(painter, plot, m_volts, volts, time.high);
    drawValueAxis(painter, plot, volts);
    drawValueAxis(painter, plot, capacity);
    drawTimeAxis(painter, plot, time, time.high, QStringLiteral("Time (s)"));
}

void BatteryPlot::drawCurve(QPainter &painter, const QRectF &plot,
                            const std::vector<PlotPoint> &points, const ValueAxis &axis,
                            double timeHigh) const
{
    std::vector<QPointF> pixels;
    for (const PlotPoint &p : thinnedPoints(points, timeHigh, columns(plot.width())))
        pixels.emplace_back(plot.left() + p.t / timeHigh * plot.width(),
                            plot.bottom() - p.value / axis.scale.high * plot.height());
    if (pixels.empty())
        return;
    painter.save();
    painter.setClipRect(plot.adjusted(-2, -2, 2, 2));
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(axis.colour, 2));
    if (pixels.size() == 1)
        painter.drawPoint(pixels.front());
    else
        painter.drawPolyline(pixels.data(), static_cast<int>(pixels.size()));
    painter.restore();
}

} // namespace rz417
