#pragma once

#include "plot/AxisScale.h"
#include "plot/ProgramTraces.h"
#include "program/Program.h"

#include <QFontMetricsF>
#include <QPixmap>
#include <QPolygonF>
#include <QWidget>

#include <chrono>
#include <optional>
#include <utility>
#include <vector>

namespace rz417 {

// The programmed setpoint against time, one colour and one axis per mode, the intervals with the
// input on shaded, and a cursor at the time of a run. Drawn with a painter from lines thinned to
// the pixel columns, so that a program of any length draws in the same time.
class ProgramPlot : public QWidget
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

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    struct ValueAxis
    {
        int16_t mode;
        QString title;
        AxisScale scale;
        double labelWidth; // of its widest tick label
        bool left;
        double offset; // of its line from the plot area's edge
    };
    struct LegendEntry
    {
        QColor colour;
        QString text;
        QRectF swatch;
        QPointF textAt;
    };

    void layOut();
    // The legend's rows at the bottom of area; returns their height.
    double layOutLegend(const QRectF &area, const QFontMetricsF &metrics);
    // The modes' axes beside a plot from top to bottom; the widths they take on each side.
    std::pair<double, double> layOutAxes(double top, double bottom, const QFontMetricsF &metrics,
                                         const QFontMetricsF &titleMetrics);
    // The time axis between left and right; false when there is no room for it.
    bool layOutTime(QRectF area, double top, double bottom, std::pair<double, double> sides,
                    const QFontMetricsF &metrics);
    void layOutLines();
    double xOf(double t) const;
    double cursorX() const;
    void drawPlot(QPainter &painter) const;
    void drawAxes(QPainter &painter) const;
    void drawLegend(QPainter &painter) const;

    ProgramTraces m_traces;
    std::optional<double> m_cursor; // seconds

    // For the present size and font; remade when either changes.
    bool m_laidOut = false;
    QSize m_laidOutSize;
    QRectF m_plot;
    AxisScale m_time;
    std::vector<ValueAxis> m_axes;
    std::vector<std::vector<QPolygonF>> m_lines; // per mode, in pixels
    std::vector<QRectF> m_shaded;
    std::vector<LegendEntry> m_legend;
    QPixmap m_picture; // all but the cursor
};

} // namespace rz417
