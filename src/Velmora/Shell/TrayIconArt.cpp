#include "TrayIconArt.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace velmora::TrayIconArt {

namespace {

QPixmap microphone(int size, const QColor& color)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal unit = size / 16.0;
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawRoundedRect(QRectF(5.5 * unit, 1 * unit, 5 * unit, 8.5 * unit), 2.5 * unit, 2.5 * unit);
    QPen pen(color, 1.4 * unit, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawArc(QRectF(3.5 * unit, 3.5 * unit, 9 * unit, 8.5 * unit), 200 * 16, 140 * 16);
    painter.drawLine(QPointF(8 * unit, 12 * unit), QPointF(8 * unit, 14.5 * unit));
    painter.drawLine(QPointF(5.5 * unit, 14.5 * unit), QPointF(10.5 * unit, 14.5 * unit));
    return pixmap;
}

} // namespace

QIcon idleIcon()
{
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64})
        icon.addPixmap(microphone(size, QColor(0xde, 0xde, 0xde)));
    return icon;
}

} // namespace velmora::TrayIconArt
