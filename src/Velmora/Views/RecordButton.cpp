#include "RecordButton.h"

#include <QPainter>
#include <QPainterPath>

namespace velmora {

using ContentViewText::RecordButtonState;

RecordButton::RecordButton(QWidget* parent)
    : QAbstractButton(parent)
{
    setObjectName(QStringLiteral("recordButton"));
    setFixedSize(sizeHint());
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setState(RecordButtonState::idle);
}

void RecordButton::setState(RecordButtonState state)
{
    m_state = state;
    setToolTip(ContentViewText::recordButtonToolTip(state));
    setAccessibleName(state == RecordButtonState::transcribing ? QStringLiteral("Cancel transcription")
                      : state == RecordButtonState::recording  ? QStringLiteral("Stop recording")
                                                               : QStringLiteral("Start recording"));
    update();
}

bool RecordButton::hitButton(const QPoint& pos) const
{
    const QPointF d = QPointF(pos) - QRectF(rect()).center();
    return d.x() * d.x() + d.y() * d.y() <= 36.0 * 36.0;
}

void RecordButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF centre = QRectF(rect()).center();
    const QColor color = ContentViewText::stateColor(m_state);

    QColor halo = color;
    halo.setAlphaF(isDown() ? 0.22 : 0.12);
    painter.setPen(Qt::NoPen);
    painter.setBrush(halo);
    painter.drawEllipse(centre, 36, 36);

    // A soft shadow of the state colour under the inner circle.
    for (int ring = 8; ring > 0; ring -= 2) {
        QColor shadow = color;
        shadow.setAlphaF(0.3 * 0.25 * (1.0 - ring / 9.0));
        painter.setBrush(shadow);
        painter.drawEllipse(centre + QPointF(0, 2), 27 + ring / 2.0, 27 + ring / 2.0);
    }
    QLinearGradient gradient(centre.x(), centre.y() - 27, centre.x(), centre.y() + 27);
    gradient.setColorAt(0, color.lighter(115));
    gradient.setColorAt(1, color.darker(110));
    painter.setBrush(gradient);
    painter.drawEllipse(centre, 27, 27);

    if (hasFocus()) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter.drawEllipse(centre, 35, 35);
    }

    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    switch (m_state) {
    case RecordButtonState::transcribing: {
        QPen pen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap);
        painter.setPen(pen);
        painter.drawLine(centre + QPointF(-8, -8), centre + QPointF(8, 8));
        painter.drawLine(centre + QPointF(-8, 8), centre + QPointF(8, -8));
        break;
    }
    case RecordButtonState::recording:
        painter.drawRoundedRect(QRectF(centre - QPointF(9, 9), QSizeF(18, 18)), 3, 3);
        break;
    case RecordButtonState::idle: {
        painter.drawRoundedRect(QRectF(centre.x() - 5.5, centre.y() - 14, 11, 18), 5.5, 5.5);
        QPen pen(Qt::white, 2.6, Qt::SolidLine, Qt::RoundCap);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawArc(QRectF(centre.x() - 10, centre.y() - 10, 20, 19), 200 * 16, 140 * 16);
        painter.drawLine(centre + QPointF(0, 9), centre + QPointF(0, 14));
        break;
    }
    }
}

} // namespace velmora
