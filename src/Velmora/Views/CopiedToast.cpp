#include "CopiedToast.h"

#include <QPainter>

namespace velmora {

CopiedToast::CopiedToast(QWidget* parent)
    : QLabel(QStringLiteral("✓  Copied to clipboard"), parent)
{
    setObjectName(QStringLiteral("copiedToast"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    QFont toastFont = font();
    toastFont.setPixelSize(12);
    toastFont.setWeight(QFont::Medium);
    setFont(toastFont);
    setStyleSheet(QStringLiteral("color: white; padding: 6px 14px;"));
    adjustSize();
    hide();
}

void CopiedToast::place()
{
    adjustSize();
    const QWidget* parent = parentWidget();
    move((parent->width() - width()) / 2, parent->height() - height() - 44);
    raise();
}

void CopiedToast::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 64));
    painter.drawRoundedRect(QRectF(rect()).adjusted(1, 2, -1, 0), height() / 2.0, height() / 2.0);
    painter.setBrush(QColor(0x30, 0xb0, 0x50, int(0.85 * 255)));
    painter.drawRoundedRect(QRectF(rect()).adjusted(0, 0, 0, -2), height() / 2.0, height() / 2.0);
    painter.end();
    QLabel::paintEvent(event);
}

} // namespace velmora
