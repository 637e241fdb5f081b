#include "SettingsStyle.h"

#include "Widgets/SymbolIcon.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPalette>

namespace velmora::SettingsStyle {

namespace {

constexpr int symbolSize = 14;
// A toggle's box and gap: captions start where its label does.
constexpr int labelIndent = 20;

} // namespace

QFont font(const QFont& base, int pixels, QFont::Weight weight)
{
    QFont sized = base;
    sized.setPixelSize(pixels);
    sized.setWeight(weight);
    return sized;
}

QColor secondary(const QPalette& palette)
{
    QColor colour = palette.color(QPalette::WindowText);
    colour.setAlphaF(0.7f);
    return colour;
}

QColor tertiary(const QPalette& palette)
{
    QColor colour = palette.color(QPalette::WindowText);
    colour.setAlphaF(0.5f);
    return colour;
}

namespace {

void colourText(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::ButtonText, colour);
    palette.setColor(QPalette::Text, colour);
    widget->setPalette(palette);
}

} // namespace

QCheckBox* toggle(const QString& text, Symbol symbol, const QString& objectName, QWidget* parent)
{
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(objectName);
    box->setFont(font(parent->font(), 12, QFont::Medium));
    const QColor colour = secondary(parent->palette());
    box->setIcon(SymbolIcon::icon(symbol, colour));
    box->setIconSize(QSize(symbolSize, symbolSize));
    colourText(box, colour);
    box->setAccessibleName(text);
    return box;
}

QWidget* sectionTitle(const QString& text, Symbol symbol, QWidget* parent)
{
    auto* title = new QWidget(parent);
    auto* row = new QHBoxLayout(title);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    const QColor colour = secondary(parent->palette());
    auto* icon = new QLabel(title);
    icon->setPixmap(SymbolIcon::icon(symbol, colour).pixmap(symbolSize, symbolSize));
    row->addWidget(icon);
    auto* label = new QLabel(text, title);
    label->setFont(font(parent->font(), 12, QFont::Medium));
    colourText(label, colour);
    row->addWidget(label, 1);
    return title;
}

QLabel* caption(const QString& text, bool indent, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setFont(font(parent->font(), 11));
    colourText(label, tertiary(parent->palette()));
    if (indent)
        label->setContentsMargins(labelIndent, 0, 0, 0);
    return label;
}

void placeBeforeInTabOrder(const QList<QWidget*>& widgets, QWidget* before)
{
    // Tab order is set between controls that take focus, so the anchor is the
    // nearest such control ahead of `before` that is not being placed.
    QWidget* anchor = before->previousInFocusChain();
    while (anchor != before && (widgets.contains(anchor) || anchor->focusPolicy() == Qt::NoFocus))
        anchor = anchor->previousInFocusChain();
    QWidget* previous = anchor == before ? nullptr : anchor;
    for (QWidget* widget : widgets) {
        if (previous)
            QWidget::setTabOrder(previous, widget);
        previous = widget;
    }
    if (previous)
        QWidget::setTabOrder(previous, before);
}

} // namespace velmora::SettingsStyle
