#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

namespace velmora {

// One correct term and the wrong spellings the speech model produces for it.
struct VocabularyEntry {
    QUuid id;
    QString spelling;
    QStringList variants;

    bool operator==(const VocabularyEntry&) const = default;

    // Trimmed, empties dropped, order and duplicates kept.
    QStringList trimmedVariants() const;
    // The settings editor's comma-separated text.
    static QStringList parseVariants(const QString& text);

    // {"id": "...", "spelling": "...", "variants": [...]}; all three keys are required.
    QJsonObject toJson() const;
    static std::optional<VocabularyEntry> fromJson(const QJsonValue& value);
};

} // namespace velmora
