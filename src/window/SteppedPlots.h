#pragma once

#include "window/PlotCanvas.h"
#include "window/RunPlot.h"

#include <QPointF>

#include <optional>
#include <vector>

namespace rz417 {

// What the stepped tests' plots share: a few hundred readings at most, each drawn as a dot on a
// line through them, the voltage on the left axis.
class SeriesPlot : public PlotCanvas, public RunPlot
{
    Q_OBJECT

public:
    QWidget *widget() override { return this; }
    QSize sizeHint() const override { return {560, 300}; }
    QSize minimumSizeHint() const override { return {320, 200}; }

protected:
    explicit SeriesPlot(QWidget *parent);

    // An axis from 0 that holds high; its labels measured.
    ValueAxis valueAxis(const QString &title, const QColor &colour, double high, bool left) const;
    // The plot area between the axes (none on the right: a margin); too small: empty.
    QRectF plotArea(const ValueAxis &left, const ValueAxis *right) const;
    // The grid at the x axis' ticks and the frame.
    void drawGrid(QPainter &painter, const QRectF &plot, const AxisScale &x) const;
    // points: in the axes' units; origin: the values at the axes' 0 (0, but where an axis is
    // over close readings alone).
    void drawSeries(QPainter &painter, const QRectF &plot, const std::vector<QPointF> &points,
                    const QPointF &origin, double xHigh, const ValueAxis &axis) const;
};

// The voltage (left) and the power (right) against the setpoint: an OCP or OPP ramp, an I-V
// sweep; the trip or the maximum power point marked once the run found it.
class SetpointPlot : public SeriesPlot
{
    Q_OBJECT

public:
    struct Mark
    {
        double setpoint = 0;
        std::optional<double> watts; // a point on the power's line; none: a line across
        QString text;
    };
    using Marker = std::optional<Mark> (*)(const measure::MeasuredRun &run);
    static std::optional<Mark> trip(const measure::MeasuredRun &run);
    static std::optional<Mark> maxPower(const measure::MeasuredRun &run);

    SetpointPlot(Marker marker, QWidget *parent);

    void started(const measure::MeasuredRun &run) override;
    void counted(const measure::MeasuredRun &run) override;

private:
    void drawPicture(QPainter &painter) const override;
    void drawMark(QPainter &painter, const QRectF &plot, double xBase, double xHigh,
                  const ValueAxis &power) const;

    Marker m_marker;
    QString m_unit;                        // the setpoint's, once a run says its mode
    std::vector<QPointF> m_volts, m_watts; // against the setpoint, with the input on
    std::optional<Mark> m_mark;
};

// The voltage against the time from the input going on: a DCIR test's steps and rests.
class VoltsPlot : public SeriesPlot
{
    Q_OBJECT

public:
    explicit VoltsPlot(QWidget *parent);

    void started(const measure::MeasuredRun &run) override;
    void counted(const measure::MeasuredRun &run) override;

private:
    void drawPicture(QPainter &painter) const override;

    std::vector<QPointF> m_volts; // seconds, volts
};

} // namespace rz417
