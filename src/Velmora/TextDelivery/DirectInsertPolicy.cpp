#include "DirectInsertPolicy.h"

#include <QStringList>

namespace velmora {

QString caseName(DirectInsertDecision decision)
{
    switch (decision) {
    case DirectInsertDecision::paste:
        return QStringLiteral("paste");
    case DirectInsertDecision::disabled:
        return QStringLiteral("disabled");
    case DirectInsertDecision::emptySegment:
        return QStringLiteral("emptySegment");
    case DirectInsertDecision::missingPermission:
        return QStringLiteral("missingPermission");
    case DirectInsertDecision::noTarget:
        return QStringLiteral("noTarget");
    case DirectInsertDecision::ownAppFocused:
        return QStringLiteral("ownAppFocused");
    case DirectInsertDecision::targetChanged:
        return QStringLiteral("targetChanged");
    }
    return {};
}

namespace DirectInsertPolicy {

DirectInsertDecision decide(const DirectInsertContext& c)
{
    if (!c.isEnabled)
        return DirectInsertDecision::disabled;
    if (c.segment.trimmed().isEmpty())
        return DirectInsertDecision::emptySegment;
    if (!c.hasPermission)
        return DirectInsertDecision::missingPermission;
    if ((!c.targetPID && c.targetWindow == 0) || c.targetPID == c.ownPID)
        return DirectInsertDecision::noTarget;
    if (c.ownAppHasFocus)
        return DirectInsertDecision::ownAppFocused;
    if (!c.frontmostPID && c.frontmostWindow == 0)
        return DirectInsertDecision::targetChanged;
    if (c.frontmostPID == c.ownPID)
        return DirectInsertDecision::ownAppFocused;
    if (c.frontmostPID != c.targetPID)
        return DirectInsertDecision::targetChanged;
    if (c.targetWindow != 0 && c.frontmostWindow != c.targetWindow)
        return DirectInsertDecision::targetChanged;
    return DirectInsertDecision::paste;
}

QString pasteText(const QString& text)
{
    const auto isBreak = [](char32_t c) {
        return c == 0x0A || c == 0x0B || c == 0x0C || c == 0x0D || c == 0x85 || c == 0x2028 || c == 0x2029;
    };
    const auto trim = [](const QString& piece) {
        qsizetype start = 0, end = piece.size();
        while (start < end && (piece[start] == u' ' || piece[start] == u'\t'))
            ++start;
        while (end > start && (piece[end - 1] == u' ' || piece[end - 1] == u'\t'))
            --end;
        return piece.mid(start, end - start);
    };
    QStringList pieces;
    QString current;
    for (const char32_t scalar : text.toUcs4()) {
        if (isBreak(scalar)) {
            pieces << trim(current);
            current.clear();
        } else {
            current += QString::fromUcs4(&scalar, 1);
        }
    }
    pieces << trim(current);
    pieces.removeAll(QString());
    return pieces.join(QLatin1Char(' '));
}

bool continuesPrevious(const std::optional<PastedDictation>& previous, const PastedDictation& now,
                       const QString& pasted)
{
    if (!previous || pasted.isEmpty() || now.atMs - previous->atMs > continuationMs || now.atMs < previous->atMs)
        return false;
    const bool sameWindow = previous->window && now.window
                                ? previous->window == now.window
                                : previous->pid && now.pid && *previous->pid == *now.pid;
    if (!sameWindow)
        return false;
    const char32_t first = pasted.toUcs4().value(0);
    return QChar::isLetterOrNumber(first);
}

} // namespace DirectInsertPolicy

} // namespace velmora
