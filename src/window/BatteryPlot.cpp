#include "window/BatteryPlot.h"

#include "window/PlotStyle.h"

#include <QPainter>

#include <algorithm>

namespace rz417 {

namespace {

using plotStyle::kFrame;
using plotStyle::kGap;
using plotStyle::kGrid;
using plotStyle::kText;
using plotStyle::kTick;
const QColor kVoltage(0, 90, 200);
const QColor kCapacity(220, 110, 0);
constexpr int kMaxTicks = 6;

double highest(const std::vector<QPointF> &points)
{
    double high = 0;
    for (const QPointF &p : points)
        high = std::max(high, p.y());
    return high;
}

} // namespace

BatteryPlot::BatteryPlot(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("BatteryPlot"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void BatteryPlot::clear(std::optional<double> span)
{
    m_span = span;
    m_volts.clear();
    m_capacity.clear();
    update();
}

void BatteryPlot::add(double seconds, std::optional<double> volts, double ampHours)
{
    if (volts)
        m_volts.emplace_back(seconds, *volts);
    m_capacity.emplace_back(seconds, ampHours);
    update();
}

void BatteryPlot::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    const QFontMetricsF metrics(font());
    const double line = metrics.height();
    const double side =
        metrics.horizontalAdvance(QStringLiteral("00.000")) + kTick + 2 * kGap + line;
    const QRectF plot(side, line, width() - 2 * side, height() - 3 * line - kTick - 2 * kGap);
    if (plot.width() < 40 || plot.height() < 40)
        return;

    // Before the first reading the axes show a minute; then they follow the test.
    const double last = m_capacity.empty() ? 0 : m_capacity.back().x();
    const AxisScale time = axisScale(std::max(m_span.value_or(last), 60.0), kMaxTicks, 0, true);
    const Axis volts{QStringLiteral("Voltage (V)"), kVoltage,
                     axisScale(std::max(highest(m_volts), 1.0), kMaxTicks, -3, true), true};
    const Axis capacity{QStringLiteral("Capacity (Ah)"), kCapacity,
                        axisScale(std::max(highest(m_capacity), 0.001), kMaxTicks, -6, true),
                        false};

    painter.setPen(QPen(kGrid, 0));
    for (const AxisTick &tick : time.ticks) {
        const double x = plot.left() + tick.value / time.high * plot.width();
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    }
    painter.setPen(QPen(kFrame, 0));
    painter.drawRect(plot);
    drawCurve(painter, plot, m_capacity, capacity.scale.high, time.high, kCapacity);
    drawCurve(painter, plot, m_volts, volts.scale.high, time.high, kVoltage);
    drawAxis(painter, plot, volts);
    drawAxis(painter, plot, capacity);

    painter.setPen(kText);
    for (const AxisTick &tick : time.ticks) {
        const double x = plot.left() + tick.value / time.high * plot.width();
        painter.drawLine(QPointF(x, plot.bottom()), QPointF(x, plot.bottom() + kTick));
        painter.drawText(QRectF(x - 50, plot.bottom() + kTick + kGap, 100, line),
                         Qt::AlignHCenter | Qt::AlignTop, QString::fromStdString(tick.label));
    }
    painter.drawText(QRectF(plot.left(), plot.bottom() + kTick + kGap + line, plot.width(), line),
                     Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("Time (s)"));
}

void BatteryPlot::drawCurve(QPainter &painter, const QRectF &plot,
                            const std::vector<QPointF> &points, double high, double timeHigh,
                            const QColor &colour) const
{
    if (points.empty())
        return;
    // A long test has many readings to a pixel column: each column keeps its first, lowest,
    // highest and last, so that a day's curve draws as fast as a minute's.
    std::vector<QPointF> pixels;
    QPointF first, low, highest, last;
    const auto flush = [&] {
        pixels.push_back(first);
        if (low != first)
            pixels.push_back(low);
        if (highest != first && highest != low)
            pixels.push_back(highest);
        if (last != highest && last != low && last != first)
            pixels.push_back(last);
    };
    bool any = false;
    for (const QPointF &p : points) {
        const QPointF at(plot.left() + p.x() / timeHigh * plot.width(),
                         plot.bottom() - p.y() / high * plot.height());
        if (any && int(at.x()) == int(first.x())) {
            if (at.y() > low.y())
                low = at;
            if (at.y() < highest.y())
                highest = at;
            last = at;
            continue;
        }
        if (any)
            flush();
        first = low = highest = last = at;
        any = true;
    }
    flush();
    painter.save();
    painter.setClipRect(plot.adjusted(-2, -2, 2, 2));
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(colour, 2));
    if (pixels.size() == 1)
        painter.drawPoint(pixels.front());
    else
        painter.drawPolyline(pixels.data(), static_cast<int>(pixels.size()));
    painter.restore();
}

void BatteryPlot::drawAxis(QPainter &painter, const QRectF &plot, const Axis &axis) const
{
    const QFontMetricsF metrics(font());
    const double line = metrics.height();
    const double out = axis.left ? -1 : 1;
    const double x = axis.left ? plot.left() : plot.right();
    painter.setPen(QPen(axis.colour, 0));
    double widest = 0;
    for (const AxisTick &tick : axis.scale.ticks) {
        const QString label = QString::fromStdString(tick.label);
        widest = std::max(widest, metrics.horizontalAdvance(label));
        const double y = plot.bottom() - tick.value / axis.scale.high * plot.height();
        painter.drawLine(QPointF(x, y), QPointF(x + out * kTick, y));
        const double at = x + out * (kTick + kGap);
        painter.drawText(axis.left ? QRectF(at - 200, y - line / 2, 200, line)
                                   : QRectF(at, y - line / 2, 200, line),
                         (axis.left ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter, label);
    }
    // The title turned to read upwards, beyond the labels.
    const double centre = x + out * (kTick + 2 * kGap + widest + line / 2);
    painter.save();
    painter.translate(centre, plot.center().y());
    painter.rotate(-90);
    painter.drawText(QRectF(-plot.height() / 2, -line / 2, plot.height(), line), Qt::AlignCenter,
                     axis.title);
    painter.restore();
}

} // namespace rz417
