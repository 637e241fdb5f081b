#pragma once

#include "VocabularyEntry.h"

#include <QHash>
#include <QList>
#include <QString>

#include <string>
#include <vector>

namespace velmora {

// Replaces known wrong spellings with their terms: whole words in any script
// (not next to a letter, mark, digit or underscore), case-insensitive by
// Unicode case folding, across any run of white space, shouting kept. All
// wrong spellings live in one trie, so a text is scanned once, in time that
// does not grow with the size of the vocabulary.
class VocabularyCorrector {
public:
    explicit VocabularyCorrector(const QList<VocabularyEntry>& entries);

    QString apply(const QString& text) const;
    bool isActive() const { return !m_keys.empty(); }

    // NFC, white-space runs folded to one space, lower case.
    static QString key(const QString& text);
    // Length in user-perceived characters.
    static qsizetype graphemeCount(const QString& text);

private:
    struct Node {
        std::vector<std::pair<char32_t, int>> children; // sorted by code point; U+0020 stands for a white-space run
        int key = -1;
    };
    struct Key {
        QString term;
        int rank; // longer keys first, then by code point: the first that fits at a position wins
    };

    int child(int node, char32_t unit) const;
    int addChild(int node, char32_t unit);

    std::vector<Node> m_nodes;
    std::vector<Key> m_keys;
};

} // namespace velmora
