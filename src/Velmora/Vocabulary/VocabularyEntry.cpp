#include "VocabularyEntry.h"

#include <QJsonArray>

namespace velmora {

QStringList VocabularyEntry::trimmedVariants() const
{
    QStringList result;
    for (const QString& variant : variants) {
        const QString trimmed = variant.trimmed();
        if (!trimmed.isEmpty())
            result << trimmed;
    }
    return result;
}

QStringList VocabularyEntry::parseVariants(const QString& text)
{
    QStringList result;
    for (const QString& piece : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString trimmed = piece.trimmed();
        if (!trimmed.isEmpty())
            result << trimmed;
    }
    return result;
}

QJsonObject VocabularyEntry::toJson() const
{
    return {
        {QStringLiteral("id"), id.toString(QUuid::WithoutBraces).toUpper()},
        {QStringLiteral("spelling"), spelling},
        {QStringLiteral("variants"), QJsonArray::fromStringList(variants)},
    };
}

std::optional<VocabularyEntry> VocabularyEntry::fromJson(const QJsonValue& value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    const QJsonValue id = object.value(QStringLiteral("id"));
    const QJsonValue spelling = object.value(QStringLiteral("spelling"));
    const QJsonValue variants = object.value(QStringLiteral("variants"));
    if (!id.isString() || !spelling.isString() || !variants.isArray())
        return std::nullopt;
    VocabularyEntry entry;
    entry.id = QUuid::fromString(id.toString());
    if (entry.id.isNull())
        return std::nullopt;
    entry.spelling = spelling.toString();
    for (const QJsonValue& variant : variants.toArray()) {
        if (!variant.isString())
            return std::nullopt;
        entry.variants << variant.toString();
    }
    return entry;
}

} // namespace velmora
