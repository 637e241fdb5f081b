#pragma once

#include "VocabularyEntry.h"

#include <QByteArray>
#include <QJsonArray>
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

// What one vocabulary is used at most, whoever wrote the file: the settings show one row
// per entry and the corrector holds every spelling, so another device's file cannot
// make either slow.
struct Limits {
    int entries = 1000;
    int characters = 100; // of a spelling or a wrong spelling
    int variants = 20;
};

struct Decoded {
    QList<VocabularyEntry> used;
    // Complete entries past the limits, as the file had them: written back, never used.
    QJsonArray unused;
};

// The JSON array of entries; nullopt unless every element is a complete entry.
std::optional<Decoded> decodeWithinLimits(const QByteArray& json, Limits limits = {});
// The entries used.
std::optional<QList<VocabularyEntry>> decode(const QByteArray& json);
// Compact, or indented with one key per line for the file people may open; `unused` follows the entries.
QByteArray encode(const QList<VocabularyEntry>& entries, bool indented = false, const QJsonArray& unused = {});

} // namespace VocabularyStore

} // namespace velmora
