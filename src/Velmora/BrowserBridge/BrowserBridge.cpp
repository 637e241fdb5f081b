#include "BrowserBridge.h"

#include <QTextBoundaryFinder>

namespace velmora::BrowserBridge {

std::optional<QString> callerOrigin(const QStringList& arguments)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments.at(i).startsWith(originPrefix))
            return arguments.at(i);
    }
    return std::nullopt;
}

QString capped(const QString& text, qsizetype limit)
{
    if (text.size() <= limit)
        return text;
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    qsizetype end = 0;
    for (qsizetype next; (next = graphemes.toNextBoundary()) >= 0 && next <= limit;)
        end = next;
    QString prefix = text.left(end);
    for (qsizetype i = prefix.size() - 1; i >= 0; --i) {
        if (prefix.at(i).isSpace()) {
            prefix.truncate(i);
            break;
        }
    }
    return prefix.trimmed();
}

} // namespace velmora::BrowserBridge
