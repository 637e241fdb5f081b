#include "VocabularyStore.h"

#include "Preferences/PreferenceKeys.h"

#include "Platform/PreferencesStore.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace velmora::VocabularyStore {

std::optional<QList<VocabularyEntry>> decode(const QByteArray& json)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    QList<VocabularyEntry> entries;
    for (const QJsonValue& value : document.array()) {
        auto entry = VocabularyEntry::fromJson(value);
        if (!entry)
            return std::nullopt;
        entries << std::move(*entry);
    }
    return entries;
}

QByteArray encode(const QList<VocabularyEntry>& entries, bool indented)
{
    QJsonArray array;
    for (const VocabularyEntry& entry : entries)
        array.append(entry.toJson());
    // Qt writes object keys sorted ("id", "spelling", "variants") and slashes unescaped.
    return QJsonDocument(array).toJson(indented ? QJsonDocument::Indented : QJsonDocument::Compact);
}

QList<VocabularyEntry> load(const platform::PreferencesStore& defaults)
{
    const auto data = defaults.dataValue(PreferenceKeys::vocabulary);
    if (!data)
        return {};
    return decode(*data).value_or(QList<VocabularyEntry>());
}

void save(const QList<VocabularyEntry>& entries, platform::PreferencesStore& defaults)
{
    defaults.setData(PreferenceKeys::vocabulary, encode(entries));
}

} // namespace velmora::VocabularyStore
