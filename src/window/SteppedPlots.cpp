#include "window/SteppedPlots.h"

#include "battery/BatteryRun.h"
#include "protocol/Modes.h"
#include "stepped/Sweep.h"
#include "stepped/Trip.h"
#include "window/PlotStyle.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace rz417 {

namespace {

using plotStyle::kFrame;
using plotStyle::kGap;
using plotStyle::kGrid;
using plotStyle::kText;
using plotStyle::kTick;
using plotStyle::kVoltage;
const QColor kPower(200, 40, 120);
using plotStyle::kMaxTicks;
constexpr double kDot = 2.5;

double highest(const std::vector<QPointF> &points, double floor, bool x)
{
    double high = floor;
    for (const QPointF &p : points)
        high = std::max(high, x ? p.x() : p.y());
    return high;
}

double lowest(const std::vector<QPointF> &points, bool x)
{
    double low = points.empty() ? 0 : x ? points.front().x() : points.front().y();
    for (const QPointF &p : points)
        low = std::min(low, x ? p.x() : p.y());
    return low;
}

// An axis over the readings alone where they lie close together (a battery's voltage under two
// currents, a ramp from 2 to 3 A), so that their steps show: its ticks count from a round base
// below the lowest; elsewhere from 0.
AxisScale closeScale(double low, double high, double &base)
{
    base = 0;
    if (!(low > 0) || high - low > high / 4)
        return axisScale(high, kMaxTicks, -3, true);
    const AxisScale span = axisScale(high - low, kMaxTicks, -3, true);
    const double step = span.ticks.size() > 1 ? span.ticks[1].value : span.high;
    base = std::floor(low / step) * step;
    AxisScale scale = axisScale(high - base, kMaxTicks, -3, true);
    const std::string &first = scale.ticks.size() > 1 ? scale.ticks[1].label : scale.ticks[0].label;
    const std::size_t point = first.find('.');
    const int decimals =
        point == std::string::npos ? 0 : static_cast<int>(first.size() - point - 1);
    for (AxisTick &tick : scale.ticks)
        tick.label = battery::figureText(base + tick.value, decimals);
    return scale;
}

const stepped::SteppedRun *steppedRun(const measure::MeasuredRun &run)
{
    return dynamic_cast<const stepped::SteppedRun *>(&run);
}

QString valueText(double value, int16_t mode)
{
    const ModeInfo *info = modeInfo(mode);
    return QString::fromStdString(battery::figureText(value, info->decimals)) + QLatin1Char(' ') +
           QString::fromUtf8(info->unitCaption);
}

} // namespace

SeriesPlot::SeriesPlot(QWidget *parent) : PlotCanvas(parent) {}

PlotCanvas::ValueAxis SeriesPlot::valueAxis(const QString &title, const QColor &colour, double high,
                                            bool left) const
{
    ValueAxis axis{title, colour, axisScale(high, kMaxTicks, -3, true), left};
    axis.labelWidth = widestLabel(QFontMetricsF(font()), axis.scale);
    return axis;
}

QRectF SeriesPlot::plotArea(const ValueAxis &left, const ValueAxis *right) const
{
    const double line = QFontMetricsF(font()).height();
    const double leftWidth = axisWidth(left);
    const double rightWidth = right ? axisWidth(*right) : line;
    const double below = kTick + kGap + line + kGap + QFontMetricsF(titleFont(font())).height();
    const QRectF plot(leftWidth, line, width() - leftWidth - rightWidth,
                      height() - 2 * line - below);
    return plot.width() < 40 || plot.height() < 40 ? QRectF() : plot;
}

void SeriesPlot::drawGrid(QPainter &painter, const QRectF &plot, const AxisScale &x) const
{
    painter.setPen(QPen(kGrid, 0));
    for (const AxisTick &tick : x.ticks) {
        const double at = plot.left() + tick.value / x.high * plot.width();
        painter.drawLine(QPointF(at, plot.top()), QPointF(at, plot.bottom()));
    }
    painter.setPen(QPen(kFrame, 0));
    painter.drawRect(plot);
}

void SeriesPlot::drawSeries(QPainter &painter, const QRectF &plot,
                            const std::vector<QPointF> &points, const QPointF &origin, double xHigh,
                            const ValueAxis &axis) const
{
    std::vector<QPointF> pixels;
    for (const QPointF &p : points)
        pixels.emplace_back(plot.left() + (p.x() - origin.x()) / xHigh * plot.width(),
                            plot.bottom() - (p.y() - origin.y()) / axis.scale.high * plot.height());
    if (pixels.empty())
        return;
    painter.save();
    painter.setClipRect(plot.adjusted(-kDot, -kDot, kDot, kDot));
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(axis.colour, 1.5));
    painter.drawPolyline(pixels.data(), static_cast<int>(pixels.size()));
    painter.setBrush(axis.colour);
    for (const QPointF &pixel : pixels)
        painter.drawEllipse(pixel, kDot, kDot);
    painter.restore();
}

std::optional<SetpointPlot::Mark> SetpointPlot::trip(const measure::MeasuredRun &run)
{
    const auto *ramp = dynamic_cast<const stepped::TripRun *>(&run);
    const auto at = ramp ? ramp->tripAt() : std::nullopt;
    if (!at)
        return std::nullopt;
    return Mark{*at, std::nullopt, QStringLiteral("Trip at ") + valueText(*at, ramp->mode())};
}

std::optional<SetpointPlot::Mark> SetpointPlot::maxPower(const measure::MeasuredRun &run)
{
    const auto *sweep = dynamic_cast<const stepped::SweepRun *>(&run);
    const auto best = sweep ? sweep->maxPowerPoint() : std::nullopt;
    if (!best || !best->setpoint || !best->watts)
        return std::nullopt;
    return Mark{*best->setpoint, best->watts,
                QStringLiteral("MPP ") +
                    QString::fromStdString(battery::figureText(*best->watts, 3)) +
                    QStringLiteral(" W at ") + valueText(*best->setpoint, sweep->mode())};
}

SetpointPlot::SetpointPlot(Marker marker, QWidget *parent) : SeriesPlot(parent), m_marker(marker)
{
    setObjectName(QStringLiteral("SetpointPlot"));
}

void SetpointPlot::started(const measure::MeasuredRun &run)
{
    const stepped::SteppedRun *stepped = steppedRun(run);
    m_unit = stepped ? QString::fromUtf8(modeInfo(stepped->mode())->unitCaption) : QString();
    m_volts.clear();
    m_watts.clear();
    m_mark.reset();
    redraw();
}

void SetpointPlot::counted(const measure::MeasuredRun &run)
{
    const stepped::SteppedRun *stepped = steppedRun(run);
    if (!stepped || stepped->points().empty())
        return;
    const stepped::Point &point = stepped->points().back();
    // A reading with the input off has no setpoint to stand at.
    if (point.setpoint) {
        m_volts.emplace_back(*point.setpoint, point.volts);
        m_watts.emplace_back(*point.setpoint, point.watts.value_or(0));
    }
    m_mark = m_marker(run);
    redraw();
}

void SetpointPlot::drawPicture(QPainter &painter) const
{
    const ValueAxis volts =
        valueAxis(QStringLiteral("Voltage (V)"), kVoltage, highest(m_volts, 1.0, false), true);
    const ValueAxis power =
        valueAxis(QStringLiteral("Power (W)"), kPower, highest(m_watts, 0.1, false), false);
    const QRectF plot = plotArea(volts, &power);
    if (plot.isEmpty())
        return;
    double base = 0;
    const AxisScale x = closeScale(lowest(m_volts, true), highest(m_volts, 0.001, true), base);
    drawGrid(painter, plot, x);
    // In the order of the setpoint, so that a bisection's probes draw as one curve.
    const auto bySetpoint = [](std::vector<QPointF> points) {
        std::stable_sort(points.begin(), points.end(),
                         [](const QPointF &a, const QPointF &b) { return a.x() < b.x(); });
        return points;
    };
    drawSeries(painter, plot, bySetpoint(m_watts), {base, 0}, x.high, power);
    drawSeries(painter, plot, bySetpoint(m_volts), {base, 0}, x.high, volts);
    drawMark(painter, plot, base, x.high, power);
    drawValueAxis(painter, plot, volts);
    drawValueAxis(painter, plot, power);
    drawTimeAxis(painter, plot, x, x.high,
                 m_unit.isEmpty() ? QStringLiteral("Setpoint")
                                  : QStringLiteral("Setpoint (%1)").arg(m_unit));
}

void SetpointPlot::drawMark(QPainter &painter, const QRectF &plot, double xBase, double xHigh,
                            const ValueAxis &power) const
{
    if (!m_mark)
        return;
    const double x = plot.left() + (m_mark->setpoint - xBase) / xHigh * plot.width();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(kText, 1, Qt::DashLine));
    painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    if (m_mark->watts) {
        const double y = plot.bottom() - *m_mark->watts / power.scale.high * plot.height();
        painter.setPen(QPen(kText, 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(QPointF(x, y), 2 * kDot + 1, 2 * kDot + 1);
    }
    // The words on the side of the line that has room for them, over the curves.
    const QFontMetricsF metrics(font());
    const double room = metrics.horizontalAdvance(m_mark->text) + 2 * kGap;
    const bool right = x + room <= plot.right();
    const QRectF words(right ? x + 1 : x - room, plot.top() + kGap, room - 1, metrics.height());
    painter.fillRect(words, QColor(255, 255, 255, 220));
    painter.setPen(QPen(kText, 0));
    painter.drawText(words, Qt::AlignCenter, m_mark->text);
    painter.restore();
}

VoltsPlot::VoltsPlot(QWidget *parent) : SeriesPlot(parent)
{
    setObjectName(QStringLiteral("VoltsPlot"));
}

void VoltsPlot::started(const measure::MeasuredRun &)
{
    m_volts.clear();
    redraw();
}

void VoltsPlot::counted(const measure::MeasuredRun &run)
{
    const stepped::SteppedRun *stepped = steppedRun(run);
    if (!stepped || stepped->points().empty())
        return;
    const stepped::Point &point = stepped->points().back();
    // The reading before the input went on stands at its start.
    m_volts.emplace_back(std::max(point.seconds, 0.0), point.volts);
    redraw();
}

void VoltsPlot::drawPicture(QPainter &painter) const
{
    double base = 0;
    ValueAxis volts{QStringLiteral("Voltage (V)"), kVoltage,
                    closeScale(lowest(m_volts, false), highest(m_volts, 1.0, false), base), true};
    volts.labelWidth = widestLabel(QFontMetricsF(font()), volts.scale);
    const QRectF plot = plotArea(volts, nullptr);
    if (plot.isEmpty())
        return;
    // Before the first readings the axis shows ten seconds; then it follows the test.
    const AxisScale time = axisScale(highest(m_volts, 10.0, true), kMaxTicks, 0, true);
    drawGrid(painter, plot, time);
    drawSeries(painter, plot, m_volts, {0, base}, time.high, volts);
    drawValueAxis(painter, plot, volts);
    drawTimeAxis(painter, plot, time, time.high, QStringLiteral("Time (s)"));
}

} // namespace rz417
