#include "VocabularyPrompt.h"

#include "VocabularyCorrector.h"

#include "Text/TextNormalization.h"

#include <QSet>

namespace velmora::VocabularyPrompt {

std::optional<QString> make(const QList<VocabularyEntry>& entries)
{
    QStringList terms;
    QSet<QString> seen;
    qsizetype length = 0;
    for (const VocabularyEntry& entry : entries) {
        const QString term = entry.spelling.trimmed();
        if (term.isEmpty() || seen.contains(term.toLower()))
            continue;
        const qsizetype cost = VocabularyCorrector::graphemeCount(term) + (terms.isEmpty() ? 1 : 2);
        if (length + cost > maximumLength)
            break;
        length += cost;
        seen.insert(term.toLower());
        terms << term;
    }
    if (terms.isEmpty())
        return std::nullopt;
    return terms.join(QStringLiteral(", ")) + QLatin1Char('.');
}

bool isEcho(const QString& transcript, const std::optional<QString>& prompt)
{
    if (!prompt)
        return false;
    const QString heard = TextNormalization::comparable(transcript);
    return !heard.isEmpty() && heard == TextNormalization::comparable(*prompt);
}

} // namespace velmora::VocabularyPrompt
