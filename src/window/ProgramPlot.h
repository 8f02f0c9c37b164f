#pragma once

#include "plot/AxisScale.h"
#include "plot/ProgramTraces.h"
#include "program/Program.h"

#include "window/PlotCanvas.h"

#include <QFontMetricsF>
#include <QPolygonF>

#include <chrono>
#include <optional>
#include <utility>
#include <vector>

namespace rz417 {

// The programmed setpoint against time, one colour and one axis per mode, the intervals with the
// input on shaded, and a cursor at the time of a run. Drawn with a painter from lines thinned to
// the pixel columns, so that a program of any length draws in the same time.
class ProgramPlot : public PlotCanvas
{
    Q_OBJECT

public:
    explicit ProgramPlot(const Program &program, QWidget *parent = nullptr);

    // Where the cursor stands in the pass; nothing hides it.
    void setTimeCursor(std::optional<std::chrono::milliseconds> at);

    // The rectangle inside the axes, 0 s at its left edge and the end of the pass at its right.
    QRectF plotArea();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

private:
    struct LegendEntry
    {
        QColor colour;
        QString text;
        QRectF swatch;
        QPointF textAt;
    };

    void layOut() override;
    // The legend's rows at the bottom of area; returns their height.
    double layOutLegend(const QRectF &area, const QFontMetricsF &metrics);
    // The modes' axes beside a plot from top to bottom; the widths they take on each side.
    std::pair<double, double> layOutAxes(double top, double bottom, const QFontMetricsF &metrics);
    // The time axis between left and right; false when there is no room for it.
    bool layOutTime(QRectF area, double top, double bottom, std::pair<double, double> sides,
                    const QFontMetricsF &metrics);
    void layOutLines();
    double xOf(double t) const;
    double cursorX() const;
    void drawPicture(QPainter &painter) const override;
    // The cursor, which moves ten times a second during a run, over the picture.
    void drawOverlay(QPainter &painter) const override;
    void drawAxes(QPainter &painter) const;
    void drawLegend(QPainter &painter) const;

    ProgramTraces m_traces;
    std::optional<double> m_cursor; // seconds

    // For the present size and font; remade when either changes.
    QRectF m_plot;
    AxisScale m_time;
    std::vector<ValueAxis> m_axes;
    std::vector<std::vector<QPolygonF>> m_lines; // per mode, in pixels
    std::vector<QRectF> m_shaded;
    std::vector<LegendEntry> m_legend;
};

} // namespace rz417
