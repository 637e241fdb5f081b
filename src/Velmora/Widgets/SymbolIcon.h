#pragma once

#include <QColor>
#include <QIcon>
#include <QList>
#include <QString>

#include <optional>

namespace velmora {

// The small pictures the settings and the popover use, by what they show.
enum class Symbol {
    waveform,
    squareAndArrowDown,
    brain,
    checkmarkCircleFill,
    circle,
    plusCircle,
    minusCircle,
    globe,
    characterBookClosed,
    keyboard,
    docOnClipboard,
    textCursor,
    speakerWave2,
    speakerFill,
    speakerWave3Fill,
    exclamationmarkTriangle,
    bellBadge,
    clockArrowCirclepath,
    xmarkCircleFill,
    arrowCounterclockwiseCircleFill,
    arrowRightCircle,
    arrowDownCircle,
    gearshape,
};

// An icon from the desktop's theme where it has one that means the same, so
// the screen looks at home on GNOME, KDE and XFCE; otherwise Velmora's own
// drawing, in the colour of the text around it, so it is complete anywhere.
class SymbolIcon {
public:
    static QIcon icon(Symbol symbol, const QColor& tint);
    // Velmora's own drawing, whatever the theme.
    static QIcon fallback(Symbol symbol, const QColor& tint);
    // The theme names tried in order; empty where no theme icon means the same.
    static QStringList themeNames(Symbol symbol);
    // The first of them the desktop's theme has, if any.
    static std::optional<QString> themeName(Symbol symbol);
    static QString resourcePath(Symbol symbol);
    static const QList<Symbol>& all();
};

} // namespace velmora
