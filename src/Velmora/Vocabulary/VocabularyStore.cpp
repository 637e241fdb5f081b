#include "VocabularyStore.h"

#include "Preferences/PreferenceKeys.h"

#include "Platform/PreferencesStore.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

namespace velmora::VocabularyStore {

namespace {

bool fits(const VocabularyEntry& entry, const Limits& limits)
{
    if (entry.spelling.size() > limits.characters || entry.variants.size() > limits.variants)
        return false;
    return std::ranges::all_of(entry.variants, [&](const QString& variant) { return variant.size() <= limits.characters; });
}

} // namespace

std::optional<Decoded> decodeWithinLimits(const QByteArray& json, Limits limits)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    Decoded decoded;
    for (const QJsonValue& value : document.array()) {
        auto entry = VocabularyEntry::fromJson(value);
        if (!entry)
            return std::nullopt;
        if (decoded.used.size() < limits.entries && fits(*entry, limits))
            decoded.used << std::move(*entry);
        else
            decoded.unused.append(value);
    }
    return decoded;
}

std::optional<QList<VocabularyEntry>> decode(const QByteArray& json)
{
    auto decoded = decodeWithinLimits(json);
    if (!decoded)
        return std::nullopt;
    return std::move(decoded->used);
}

QByteArray encode(const QList<VocabularyEntry>& entries, bool indented, const QJsonArray& unused)
{
    QJsonArray array;
    for (const VocabularyEntry& entry : entries)
        array.append(entry.toJson());
    for (const QJsonValue& value : unused)
        array.append(value);
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
