#pragma once

#include "plot/AxisScale.h"

#include <QColor>
#include <QPixmap>
#include <QWidget>

class QPainter;

namespace rz417 {

// What the plots share. What stands still is drawn once into a picture at the device's pixel
// ratio, and again only when the size, the font or what is shown changed; what moves (a cursor)
// is drawn over it at each paint. Axes are drawn one way: a time axis under the plot area, value
// axes beside it with their ticks, labels and titles turned to read upwards.
class PlotCanvas : public QWidget
{
    Q_OBJECT

public:
    struct ValueAxis
    {
        QString title;
        QColor colour;
        AxisScale scale;
        bool left = true;
        double offset = 0;     // of its line from the plot area's edge
        double labelWidth = 0; // of its widest tick label
    };

    static QFont titleFont(QFont font);
    static double widestLabel(const QFontMetricsF &metrics, const AxisScale &scale);

protected:
    explicit PlotCanvas(QWidget *parent);

    // What is shown changed: the picture is drawn again at the next paint.
    void redraw();
    // Lays out for the present size and font where they changed since.
    void ensureLaidOut();
    // How many pixel columns of the device a width of the widget covers.
    int columns(double width) const;
    // How much room beside the plot area a value axis takes.
    double axisWidth(const ValueAxis &axis) const;

    // The time axis' ticks at their times, the plot area's width being end seconds.
    void drawTimeAxis(QPainter &painter, const QRectF &plot, const AxisScale &time, double end,
                      const QString &title) const;
    void drawValueAxis(QPainter &painter, const QRectF &plot, const ValueAxis &axis) const;

    virtual void layOut() {}
    virtual void drawPicture(QPainter &painter) const = 0;
    virtual void drawOverlay(QPainter &painter) const { (void)painter; }

    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    bool m_laidOut = false;
    QSize m_laidOutSize;
    QPixmap m_picture;
};

} // namespace rz417
