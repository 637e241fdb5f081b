#include "ShortcutCharacter.h"

#include <QChar>
#include <QList>
#include <QTextBoundaryFinder>

namespace HotKeyCore {

bool isDisplayableShortcutScalar(char32_t scalar)
{
    if ((scalar >= 0xE000 && scalar <= 0xF8FF) || (scalar >= 0xF0000 && scalar <= 0xFFFFD)
        || (scalar >= 0x100000 && scalar <= 0x10FFFD))
        return false;
    const auto category = QChar::category(scalar);
    return category != QChar::Other_Control && category != QChar::Other_Format;
}

std::optional<QString> normalizedShortcutCharacter(const std::optional<QString>& text)
{
    if (!text || text->isEmpty())
        return std::nullopt;
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, *text);
    const qsizetype end = graphemes.toNextBoundary();
    const QString first = text->left(end > 0 ? end : text->size());
    for (const char32_t scalar : first.toUcs4()) {
        if (!isDisplayableShortcutScalar(scalar))
            return std::nullopt;
    }
    return first.toLower();
}

bool shouldPreferOptionProducedCharacter(const QString& text)
{
    const auto scalars = text.toUcs4();
    if (scalars.size() != 1 || scalars.front() > 127)
        return false;
    const QChar character(scalars.front());
    return character.isPunct() || character.isSymbol();
}

} // namespace HotKeyCore
