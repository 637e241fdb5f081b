#include "SymbolIcon.h"

#include <QHash>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace velmora {

namespace {

struct SymbolRow {
    Symbol symbol;
    const char* file;
    std::initializer_list<const char*> themeNames;
};

// Theme names only where the freedesktop icon shows the same thing; a radio
// mark or a brain has no such name, and a near miss reads worse than our own.
const SymbolRow rows[] = {
    {Symbol::waveform, "waveform", {}},
    {Symbol::squareAndArrowDown, "square.and.arrow.down", {"document-save"}},
    {Symbol::brain, "brain", {}},
    {Symbol::checkmarkCircleFill, "checkmark.circle.fill", {}},
    {Symbol::circle, "circle", {}},
    {Symbol::plusCircle, "plus.circle", {"list-add"}},
    {Symbol::minusCircle, "minus.circle", {"list-remove"}},
    {Symbol::globe, "globe", {}},
    {Symbol::characterBookClosed, "character.book.closed", {"accessories-dictionary"}},
    {Symbol::keyboard, "keyboard", {"input-keyboard"}},
    {Symbol::docOnClipboard, "doc.on.clipboard", {"edit-paste"}},
    {Symbol::textCursor, "text.cursor", {"insert-text"}},
    {Symbol::speakerWave2, "speaker.wave.2", {"audio-volume-medium"}},
    {Symbol::speakerFill, "speaker.fill", {"audio-volume-low"}},
    {Symbol::speakerWave3Fill, "speaker.wave.3.fill", {"audio-volume-high"}},
    {Symbol::exclamationmarkTriangle, "exclamationmark.triangle", {"dialog-warning"}},
    {Symbol::bellBadge, "bell.badge", {"preferences-system-notifications"}},
    {Symbol::clockArrowCirclepath, "clock.arrow.circlepath", {"document-open-recent"}},
    {Symbol::xmarkCircleFill, "xmark.circle.fill", {"window-close"}},
    {Symbol::arrowCounterclockwiseCircleFill, "arrow.counterclockwise.circle.fill", {"edit-undo"}},
    {Symbol::arrowRightCircle, "arrow.right.circle", {"system-run"}},
    {Symbol::arrowDownCircle, "arrow.down.circle", {"system-software-update"}},
    {Symbol::gearshape, "gearshape", {"preferences-system"}},
};

const SymbolRow& rowOf(Symbol symbol)
{
    for (const SymbolRow& row : rows) {
        if (row.symbol == symbol)
            return row;
    }
    Q_UNREACHABLE();
}

QPixmap tinted(QSvgRenderer& renderer, int size, const QColor& tint)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    // The drawings are black shapes: keep their coverage, take the tint.
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), tint);
    painter.end();
    return QPixmap::fromImage(image);
}

} // namespace

const QList<Symbol>& SymbolIcon::all()
{
    static const QList<Symbol> symbols = [] {
        QList<Symbol> list;
        for (const SymbolRow& row : rows)
            list.append(row.symbol);
        return list;
    }();
    return symbols;
}

QString SymbolIcon::resourcePath(Symbol symbol)
{
    return QStringLiteral(":/symbols/%1.svg").arg(QString::fromLatin1(rowOf(symbol).file));
}

QStringList SymbolIcon::themeNames(Symbol symbol)
{
    QStringList names;
    for (const char* name : rowOf(symbol).themeNames)
        names.append(QString::fromLatin1(name));
    return names;
}

QIcon SymbolIcon::fallback(Symbol symbol, const QColor& tint)
{
    // Views ask for the same few icons again and again; drawing them is not free.
    static QHash<QPair<int, QRgb>, QIcon> cache;
    const auto key = qMakePair(int(symbol), tint.rgba());
    if (const auto found = cache.constFind(key); found != cache.cend())
        return *found;
    QSvgRenderer renderer(resourcePath(symbol));
    QIcon icon;
    if (renderer.isValid()) {
        for (const int size : {16, 20, 24, 32, 48})
            icon.addPixmap(tinted(renderer, size, tint));
    }
    cache.insert(key, icon);
    return icon;
}

std::optional<QString> SymbolIcon::themeName(Symbol symbol)
{
    for (const QString& name : themeNames(symbol)) {
        if (QIcon::hasThemeIcon(name))
            return name;
    }
    return std::nullopt;
}

QIcon SymbolIcon::icon(Symbol symbol, const QColor& tint)
{
    if (const auto name = themeName(symbol))
        return QIcon::fromTheme(*name);
    return fallback(symbol, tint);
}

} // namespace velmora
