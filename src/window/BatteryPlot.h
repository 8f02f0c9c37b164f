#pragma once

#include "plot/LineThinner.h"
#include "window/PlotCanvas.h"

#include <optional>
#include <vector>

namespace rz417 {

// A battery test's curve as it is read: the voltage (left axis) and the capacity drawn (right
// axis) against the time from the input going on. The time axis reaches the test's time stop
// when it has one, and grows with the test otherwise.
class BatteryPlot : public PlotCanvas
{
    Q_OBJECT

public:
    explicit BatteryPlot(QWidget *parent = nullptr);

    // A new test: no points; span: its time stop in seconds, if any.
    void clear(std::optional<double> span);
    // A reading: seconds from the input going on, the voltage if measured, the capacity in Ah.
    void add(double seconds, std::optional<double> volts, double ampHours);

    QSize sizeHint() const override { return {560, 300}; }
    QSize minimumSizeHint() const override { return {320, 200}; }

private:
    void drawPicture(QPainter &painter) const override;
    // A line thinned to the device's pixel columns, so that a day's curve draws as fast as a
    // minute's.
    void drawCurve(QPainter &painter, const QRectF &plot, const std::vector<PlotPoint> &points,
                   const ValueAxis &axis, double timeHigh) const;

    std::optional<double> m_span;
    std::vector<PlotPoint> m_volts;    // seconds, volts
    std::vector<PlotPoint> m_capacity; // seconds, Ah
};

} // namespace rz417
