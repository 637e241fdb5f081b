#pragma once

#include "VocabularyEntry.h"

#include <QByteArray>
#include <QList>

#include <optional>

namespace velmora::platform {
class PreferencesStore;
}

namespace velmora {

// The local copy of the vocabulary under "velmora.vocabulary".
namespace VocabularyStore {

// Absent or undecodable data is an empty vocabulary.
QList<VocabularyEntry> load(const platform::PreferencesStore& defaults);
void save(const QList<VocabularyEntry>& entries, platform::PreferencesStore& defaults);

// The JSON array of entries; nullopt unless every element is a complete entry.
std::optional<QList<VocabularyEntry>> decode(const QByteArray& json);
// Compact, or indented with one key per line for the file people may open.
QByteArray encode(const QList<VocabularyEntry>& entries, bool indented = false);

} // namespace VocabularyStore

} // namespace velmora
