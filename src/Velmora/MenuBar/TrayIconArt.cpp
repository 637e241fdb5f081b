#include "TrayIconArt.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <array>
#include <functional>

namespace velmora::TrayIconArt {

namespace {

constexpr std::array sizes{16, 22, 24, 32, 48, 64};
const QColor rim(0, 0, 0, 150);

QIcon drawn(const std::function<void(QPainter&, qreal unit)>& draw)
{
    QIcon icon;
    for (const int size : sizes) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        draw(painter, size / 16.0);
        icon.addPixmap(pixmap);
    }
    return icon;
}

void microphone(QPainter& painter, qreal unit, const QColor& color)
{
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawRoundedRect(QRectF(6.25 * unit, 3 * unit, 3.5 * unit, 6 * unit), 1.75 * unit, 1.75 * unit);
    QPen pen(color, 1.1 * unit, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawArc(QRectF(4.75 * unit, 4.5 * unit, 6.5 * unit, 6.5 * unit), 200 * 16, 140 * 16);
    painter.drawLine(QPointF(8 * unit, 11 * unit), QPointF(8 * unit, 13 * unit));
}

QIcon disc(const QColor& fill)
{
    return drawn([fill](QPainter& painter, qreal unit) {
        painter.setPen(QPen(rim, 0.6 * unit));
        painter.setBrush(fill);
        painter.drawEllipse(QRectF(0.75 * unit, 0.75 * unit, 14.5 * unit, 14.5 * unit));
        microphone(painter, unit, Qt::white);
    });
}

} // namespace

QIcon idleIcon()
{
    return drawn([](QPainter& painter, qreal unit) {
        // Five bars of a waveform, symmetric about the middle line.
        constexpr std::array heights{4.0, 8.0, 12.0, 7.0, 3.0};
        QPainterPath bars;
        for (std::size_t i = 0; i < heights.size(); ++i) {
            const qreal x = (2.0 + 2.6 * i) * unit;
            const qreal h = heights[i] * unit;
            bars.addRoundedRect(QRectF(x, 8 * unit - h / 2, 1.8 * unit, h), 0.9 * unit, 0.9 * unit);
        }
        painter.setPen(QPen(rim, 0.8 * unit));
        painter.setBrush(QColor(0xf4, 0xf4, 0xf4));
        painter.drawPath(bars);
    });
}

QIcon hoveredIcon()
{
    return disc(QColor(0x2e, 0xa0, 0x43));
}

QIcon recordingIcon()
{
    return disc(QColor(0xe0, 0x2f, 0x2f));
}

QIcon spinnerIcon(int frame)
{
    return drawn([frame](QPainter& painter, qreal unit) {
        const QRectF ring(3 * unit, 3 * unit, 10 * unit, 10 * unit);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(rim, 3.2 * unit));
        painter.drawEllipse(ring);
        painter.setPen(QPen(QColor(0xf4, 0xf4, 0xf4, 110), 1.8 * unit));
        painter.drawEllipse(ring);
        // A bright arc a quarter of the ring long, turned one step per frame.
        painter.setPen(QPen(QColor(0x4a, 0x9e, 0xff), 1.8 * unit, Qt::SolidLine, Qt::RoundCap));
        const int start = 90 * 16 - frame * (360 * 16 / spinnerFrames);
        painter.drawArc(ring, start, -100 * 16);
    });
}

QIcon applicationIcon()
{
    return drawn([](QPainter& painter, qreal unit) {
        QLinearGradient gradient(0, 0, 0, 16 * unit);
        gradient.setColorAt(0, QColor(0x3d, 0x7b, 0xf0));
        gradient.setColorAt(1, QColor(0x6a, 0x3d, 0xd8));
        painter.setPen(Qt::NoPen);
        painter.setBrush(gradient);
        painter.drawRoundedRect(QRectF(0.5 * unit, 0.5 * unit, 15 * unit, 15 * unit), 3.5 * unit, 3.5 * unit);
        microphone(painter, unit, Qt::white);
    });
}

} // namespace velmora::TrayIconArt
