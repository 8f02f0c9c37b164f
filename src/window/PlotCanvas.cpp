#include "window/PlotCanvas.h"

#include "window/PlotStyle.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace rz417 {

using plotStyle::kGap;
using plotStyle::kText;
using plotStyle::kTick;

PlotCanvas::PlotCanvas(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QFont PlotCanvas::titleFont(QFont font)
{
    font.setBold(true);
    return font;
}

double PlotCanvas::widestLabel(const QFontMetricsF &metrics, const AxisScale &scale)
{
    double widest = 0;
    for (const AxisTick &tick : scale.ticks)
        widest = std::max(widest, metrics.horizontalAdvance(QString::fromStdString(tick.label)));
    return widest;
}

void PlotCanvas::redraw()
{
    m_picture = QPixmap();
    update();
}

void PlotCanvas::ensureLaidOut()
{
    if (m_laidOut && m_laidOutSize == size())
        return;
    m_laidOut = true;
    m_laidOutSize = size();
    m_picture = QPixmap();
    layOut();
}

int PlotCanvas::columns(double width) const
{
    return static_cast<int>(std::ceil(width * devicePixelRatioF()));
}

double PlotCanvas::axisWidth(const ValueAxis &axis) const
{
    return axis.offset + kTick + kGap + axis.labelWidth + kGap +
           QFontMetricsF(titleFont(font())).height();
}

void PlotCanvas::paintEvent(QPaintEvent *)
{
    ensureLaidOut();
    const qreal ratio = devicePixelRatioF();
    if (m_picture.isNull() || m_picture.devicePixelRatio() != ratio) {
        m_picture = QPixmap(size() * ratio);
        m_picture.setDevicePixelRatio(ratio);
        m_picture.fill(Qt::white);
        QPainter picture(&m_picture);
        drawPicture(picture);
    }
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_picture);
    drawOverlay(painter);
}

void PlotCanvas::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        m_laidOut = false;
    QWidget::changeEvent(event);
}

void PlotCanvas::drawTimeAxis(QPainter &painter, const QRectF &plot, const AxisScale &time,
                              double end, const QString &title) const
{
    const QFontMetricsF metrics(font());
    const QFont bold = titleFont(font());
    const double line = metrics.height();
    painter.setPen(QPen(kText, 0));
    for (const AxisTick &tick : time.ticks) {
        const double x = plot.left() + tick.value / end * plot.width();
        painter.drawLine(QPointF(x, plot.bottom()), QPointF(x, plot.bottom() + kTick));
        painter.drawText(QRectF(x - 100, plot.bottom() + kTick + kGap, 200, line),
                         Qt::AlignHCenter | Qt::AlignTop, QString::fromStdString(tick.label));
    }
    painter.setFont(bold);
    painter.drawText(QRectF(plot.left(), plot.bottom() + kTick + kGap + line + kGap, plot.width(),
                            QFontMetricsF(bold).height()),
                     Qt::AlignHCenter | Qt::AlignTop, title);
    painter.setFont(font());
}

void PlotCanvas::drawValueAxis(QPainter &painter, const QRectF &plot, const ValueAxis &axis) const
{
    const QFontMetricsF metrics(font());
    const QFont bold = titleFont(font());
    const double line = metrics.height();
    const double out = axis.left ? -1 : 1; // away from the plot area
    const double x = axis.left ? plot.left() - axis.offset : plot.right() + axis.offset;
    painter.setPen(QPen(axis.colour, 0));
    painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
    for (const AxisTick &tick : axis.scale.ticks) {
        const double y = plot.bottom() - tick.value / axis.scale.high * plot.height();
        painter.drawLine(QPointF(x, y), QPointF(x + out * kTick, y));
        const double labelX = x + out * (kTick + kGap);
        const QRectF box =
            axis.left ? QRectF(labelX - axis.labelWidth, y - line / 2, axis.labelWidth, line)
                      : QRectF(labelX, y - line / 2, axis.labelWidth, line);
        painter.drawText(box, (axis.left ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter,
                         QString::fromStdString(tick.label));
    }
    // The title turned to read upwards, beyond the labels.
    const double titleHeight = QFontMetricsF(bold).height();
    const double centre = x + out * (kTick + kGap + axis.labelWidth + kGap + titleHeight / 2);
    painter.save();
    painter.setFont(bold);
    painter.translate(centre, plot.center().y());
    painter.rotate(-90);
    painter.drawText(QRectF(-plot.height() / 2, -titleHeight / 2, plot.height(), titleHeight),
                     Qt::AlignCenter, axis.title);
    painter.restore();
}

} // namespace rz417
