#include "window/ProgramPlot.h"

#include "protocol/Modes.h"
#include "window/PlotStyle.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace rz417 {

namespace {

// One colour per mode, in ModeCode order.
const QColor kModeColours[] = {QColor(31, 119, 180), QColor(214, 39, 40), QColor(44, 160, 44),
                               QColor(148, 103, 189)};
const QColor kShade(255, 200, 0, 60);
const QColor kShadeBorder(230, 170, 0);
using plotStyle::kFrame;
using plotStyle::kGap;
using plotStyle::kGrid;
using plotStyle::kText;
using plotStyle::kTick;

constexpr double kPad = 8;        // around everything
constexpr double kAxisGap = 10;   // between axes stacked on one side
constexpr double kLegendGap = 18; // between legend entries

QColor modeColour(int16_t mode)
{
    return kModeColours[mode - 1];
}

} // namespace

ProgramPlot::ProgramPlot(const Program &program, QWidget *parent)
    : PlotCanvas(parent), m_traces(programTraces(program))
{
    QStringList titles;
    for (const ModeTrace &trace : m_traces.modes)
        titles << QString::fromStdString(axisTitle(trace.mode));
    setAccessibleName(QStringLiteral("Program plot"));
    setAccessibleDescription(
        QStringLiteral("The setpoint against time in seconds: %1; the time with the input on "
                       "shaded")
            .arg(titles.isEmpty() ? QStringLiteral("no setpoints")
                                  : titles.join(QStringLiteral(", "))));
}

void ProgramPlot::setTimeCursor(std::optional<std::chrono::milliseconds> at)
{
    std::optional<double> t;
    if (at)
        t = static_cast<double>(at->count()) / 1000.0;
    if (t == m_cursor)
        return;
    // Only the strips under the old and the new cursor are drawn again.
    const auto strip = [this] {
        return QRectF(cursorX() - 2, m_plot.top() - 1, 4, m_plot.height() + 2).toAlignedRect();
    };
    if (m_cursor)
        update(strip());
    m_cursor = t;
    if (m_cursor)
        update(strip());
}

QRectF ProgramPlot::plotArea()
{
    ensureLaidOut();
    return m_plot;
}

QSize ProgramPlot::sizeHint() const
{
    return {420, 200};
}

QSize ProgramPlot::minimumSizeHint() const
{
    return {320, 180};
}

double ProgramPlot::xOf(double t) const
{
    return m_plot.left() + t / m_traces.end * m_plot.width();
}

void ProgramPlot::layOut()
{
    m_plot = QRectF();
    m_axes.clear();
    m_lines.clear();
    m_shaded.clear();
    m_legend.clear();

    const QFontMetricsF metrics(font());
    const QFontMetricsF titleMetrics(titleFont(font()));
    const double line = metrics.height();
    const QRectF all = QRectF(rect()).adjusted(kPad, kPad, -kPad, -kPad);
    const double legendHeight = layOutLegend(all, metrics);

    // Under the plot area: the time axis' ticks, labels and title, then the legend.
    const double top = all.top() + line / 2;
    const double bottom = all.bottom() - (m_legend.empty() ? 0 : legendHeight + kPad) -
                          (kTick + kGap + line + kGap + titleMetrics.height());
    if (bottom - top < 2 * line)
        return;
    const auto sides = layOutAxes(top, bottom, metrics);
    if (layOutTime(all, top, bottom, sides, metrics))
        layOutLines();
}

double ProgramPlot::layOutLegend(const QRectF &area, const QFontMetricsF &metrics)
{
    const double line = metrics.height();
    const double swatch = std::round(line * 0.7);
    if (!m_traces.inputOn.empty())
        m_legend.push_back({kShade, QStringLiteral("input on"), {}, {}});
    for (const ModeTrace &trace : m_traces.modes)
        m_legend.push_back(
            {modeColour(trace.mode),
             QStringLiteral("%1 setpoint").arg(QString::fromLatin1(modeInfo(trace.mode)->name)),
             {},
             {}});
    // Entries in rows as wide as the widget allows.
    std::vector<std::vector<std::size_t>> rows;
    std::vector<double> rowWidths;
    for (std::size_t i = 0; i < m_legend.size(); ++i) {
        const double width = swatch + kGap + metrics.horizontalAdvance(m_legend[i].text);
        if (rows.empty() || rowWidths.back() + kLegendGap + width > area.width()) {
            rows.emplace_back();
            rowWidths.push_back(-kLegendGap);
        }
        rows.back().push_back(i);
        rowWidths.back() += kLegendGap + width;
    }
    const double height = static_cast<double>(rows.size()) * line;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        double x = area.center().x() - rowWidths[r] / 2;
        const double y = area.bottom() - height + static_cast<double>(r) * line;
        for (const std::size_t i : rows[r]) {
            LegendEntry &entry = m_legend[i];
            entry.swatch = QRectF(x, y + (line - swatch) / 2, swatch, swatch);
            entry.textAt = QPointF(x + swatch + kGap, y + metrics.ascent());
            x += swatch + kGap + metrics.horizontalAdvance(entry.text) + kLegendGap;
        }
    }
    return height;
}

std::pair<double, double> ProgramPlot::layOutAxes(double top, double bottom,
                                                  const QFontMetricsF &metrics)
{
    // A mode's axis on alternate sides, further out for the third and fourth.
    const double line = metrics.height();
    const int valueTicks = std::clamp(static_cast<int>((bottom - top) / (line * 1.8)), 2, 11);
    double leftWidth = 0;
    double rightWidth = 0;
    for (std::size_t i = 0; i < m_traces.modes.size(); ++i) {
        const ModeTrace &trace = m_traces.modes[i];
        ValueAxis axis;
        axis.colour = modeColour(trace.mode);
        axis.title = QString::fromStdString(axisTitle(trace.mode));
        // Headroom above the highest setpoint, so that it does not run along the frame.
        axis.scale = axisScale(trace.top * 1.1, valueTicks, -modeInfo(trace.mode)->decimals, true);
        axis.labelWidth = widestLabel(metrics, axis.scale);
        axis.left = i % 2 == 0;
        double &side = axis.left ? leftWidth : rightWidth;
        axis.offset = side > 0 ? side + kAxisGap : 0;
        side = axisWidth(axis);
        m_axes.push_back(axis);
    }
    return {leftWidth, rightWidth};
}

bool ProgramPlot::layOutTime(QRectF area, double top, double bottom,
                             std::pair<double, double> sides, const QFontMetricsF &metrics)
{
    // The time axis' first and last labels stand half outside the plot area.
    const auto timeScaleFor = [&](double width) {
        for (int ticks = std::max(2, static_cast<int>(width / 80));; --ticks) {
            AxisScale scale = axisScale(m_traces.end, ticks, -3, false);
            const double spacing =
                scale.ticks.size() > 1 ? width * scale.ticks[1].value / m_traces.end : width;
            if (widestLabel(metrics, scale) + 12 <= spacing || ticks <= 2)
                return scale;
        }
    };
    const double halfLabel = metrics.horizontalAdvance(QStringLiteral("0")) / 2 + 2;
    const double left = area.left() + std::max(sides.first, halfLabel);
    double right = area.right() - std::max(sides.second, halfLabel);
    m_time = timeScaleFor(right - left);
    if (sides.second == 0) {
        const QString last = QString::fromStdString(m_time.ticks.back().label);
        right = area.right() - std::max(halfLabel, metrics.horizontalAdvance(last) / 2 + 2);
        m_time = timeScaleFor(right - left);
    }
    if (right - left < 4 * metrics.height())
        return false;
    m_plot = QRectF(QPointF(left, top), QPointF(right, bottom));
    return true;
}

void ProgramPlot::layOutLines()
{
    // The lines and the shading, thinned to the device's pixel columns.
    const int columns = PlotCanvas::columns(m_plot.width());
    for (std::size_t i = 0; i < m_traces.modes.size(); ++i) {
        const double high = m_axes[i].scale.high;
        std::vector<QPolygonF> &polygons = m_lines.emplace_back();
        for (const auto &points : thinnedLines(m_traces.modes[i], m_traces.end, columns)) {
            QPolygonF &polygon = polygons.emplace_back();
            polygon.reserve(static_cast<qsizetype>(points.size()));
            for (const PlotPoint &p : points)
                polygon << QPointF(xOf(p.t), m_plot.bottom() - p.value / high * m_plot.height());
        }
    }
    for (const TimeInterval &on : thinnedIntervals(m_traces.inputOn, m_traces.end, columns))
        m_shaded.emplace_back(QPointF(xOf(on.from), m_plot.top()),
                              QPointF(xOf(on.to), m_plot.bottom()));
}

void ProgramPlot::drawOverlay(QPainter &painter) const
{
    if (m_cursor && !m_plot.isEmpty()) {
        painter.setPen(QPen(Qt::black, 1, Qt::DashLine));
        painter.drawLine(QPointF(cursorX(), m_plot.top()), QPointF(cursorX(), m_plot.bottom()));
    }
}

double ProgramPlot::cursorX() const
{
    return xOf(std::clamp(m_cursor.value_or(0.0), 0.0, m_traces.end));
}

void ProgramPlot::drawPicture(QPainter &painter) const
{
    if (m_plot.isEmpty())
        return;

    for (const QRectF &shaded : m_shaded)
        painter.fillRect(shaded, kShade);

    painter.setPen(QPen(kGrid, 0));
    for (const AxisTick &tick : m_time.ticks)
        painter.drawLine(QPointF(xOf(tick.value), m_plot.top()),
                         QPointF(xOf(tick.value), m_plot.bottom()));
    if (!m_axes.empty()) {
        for (const AxisTick &tick : m_axes.front().scale.ticks) {
            const double y =
                m_plot.bottom() - tick.value / m_axes.front().scale.high * m_plot.height();
            painter.drawLine(QPointF(m_plot.left(), y), QPointF(m_plot.right(), y));
        }
    }
    painter.setPen(QPen(kFrame, 0));
    painter.drawRect(m_plot);

    // Without antialiasing: a step line is all level and upright strokes, which stay sharp, and
    // the dense block of a long program fills many times faster.
    painter.save();
    // A line at 0 runs along the bottom edge; it is drawn whole.
    painter.setClipRect(m_plot.adjusted(-2, -2, 2, 2));
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        painter.setPen(QPen(m_axes[i].colour, 2, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
        for (const QPolygonF &polygon : m_lines[i]) {
            // A stroke is filled as one path, whose cost grows with the square of the edges on
            // a scan line (a second and more for a dense line as one): the line goes in short
            // pieces, each overlapping the one before by a segment so that their joins are drawn.
            constexpr qsizetype kPiece = 8;
            for (qsizetype from = 0; from + 1 < polygon.size(); from += kPiece - 2)
                painter.drawPolyline(polygon.constData() + from,
                                     static_cast<int>(std::min(kPiece, polygon.size() - from)));
        }
    }
    painter.restore();

    drawAxes(painter);
    drawLegend(painter);
}

void ProgramPlot::drawAxes(QPainter &painter) const
{
    drawTimeAxis(painter, m_plot, m_time, m_traces.end, QStringLiteral("Time (s)"));
    for (const ValueAxis &axis : m_axes)
        drawValueAxis(painter, m_plot, axis);
}

void ProgramPlot::drawLegend(QPainter &painter) const
{
    for (const LegendEntry &entry : m_legend) {
        painter.fillRect(entry.swatch, entry.colour);
        painter.setPen(
            QPen(entry.colour.alpha() < 255 ? kShadeBorder : entry.colour.darker(130), 0));
        painter.drawRect(entry.swatch);
        painter.setPen(kText);
        painter.drawText(entry.textAt, entry.text);
    }
}

} // namespace rz417
