#include "SettingsChip.h"

#include "SettingsStyle.h"

#include "Widgets/SymbolIcon.h"


namespace velmora {

namespace {

QString rgba(const QColor& colour, double alpha)
{
    return QStringLiteral("rgba(%1,%2,%3,%4)")
        .arg(colour.red())
        .arg(colour.green())
        .arg(colour.blue())
        .arg(int(alpha * 255));
}

} // namespace

SettingsChip::SettingsChip(const QString& title, std::optional<Symbol> symbol, QWidget* parent)
    : QToolButton(parent)
    , m_symbol(symbol)
{
    setText(title);
    setCheckable(true);
    setAutoExclusive(false);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(title);
    setFont(SettingsStyle::font(font(), 11, QFont::Medium));
    setToolButtonStyle(symbol ? Qt::ToolButtonTextBesideIcon : Qt::ToolButtonTextOnly);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    applyStyle();
}

void SettingsChip::applyStyle()
{
    // The surroundings' colours: the style sheet below changes the chip's own.
    const QPalette colours = parentWidget() ? parentWidget()->palette() : palette();
    const QColor accent = colours.color(QPalette::Highlight);
    const QColor text = colours.color(QPalette::WindowText);
    setStyleSheet(QStringLiteral("QToolButton { background: rgba(255,255,255,15); color: %1; border: 1px solid %2;"
                                 " border-radius: 6px; padding: 4px 8px; }"
                                 "QToolButton:checked { background: %3; color: %4; border-color: %5; }"
                                 "QToolButton:disabled { color: %6; }"
                                 "QToolButton:focus { border: 1px solid %4; }")
                      .arg(rgba(SettingsStyle::secondary(colours), SettingsStyle::secondary(colours).alphaF()),
                           rgba(text, 0.12), rgba(accent, 0.25), accent.name(), rgba(accent, 0.35),
                           rgba(text, 0.3)));
    if (!m_symbol)
        return;
    QIcon icon = SymbolIcon::icon(*m_symbol, SettingsStyle::secondary(colours));
    if (!SymbolIcon::themeName(*m_symbol)) {
        // Our own drawing follows the chip's state: accent when chosen.
        const QIcon chosen = SymbolIcon::fallback(*m_symbol, accent);
        for (const QSize& size : chosen.availableSizes())
            icon.addPixmap(chosen.pixmap(size), QIcon::Normal, QIcon::On);
    }
    setIcon(icon);
    setIconSize(QSize(14, 14));
}

} // namespace velmora
