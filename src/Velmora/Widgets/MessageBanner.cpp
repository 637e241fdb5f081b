#include "MessageBanner.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

namespace velmora {

namespace {

QColor tint(MessageBanner::Style style)
{
    return style == MessageBanner::Style::error ? QColor(0xff, 0x3b, 0x30) : QColor(0xff, 0x95, 0x00);
}

} // namespace

MessageBanner::MessageBanner(Style style, QWidget* parent)
    : QWidget(parent)
    , m_style(style)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 8, 10, 8);
    layout->setSpacing(8);
    auto* icon = new QLabel(QStringLiteral("⚠"), this);
    icon->setStyleSheet(QStringLiteral("color: %1;").arg(tint(style).name()));
    icon->setAlignment(Qt::AlignTop);
    layout->addWidget(icon);
    m_text = new QLabel(this);
    m_text->setObjectName(QStringLiteral("bannerText"));
    m_text->setWordWrap(true);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_text, 1);
}

void MessageBanner::setMessage(const QString& message)
{
    m_text->setText(message);
    setAccessibleName(message);
}

QString MessageBanner::message() const
{
    return m_text->text();
}

void MessageBanner::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor fill = tint(m_style);
    fill.setAlphaF(m_style == Style::error ? 0.08 : 0.12);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(QRectF(rect()), 8, 8);
}

} // namespace velmora
