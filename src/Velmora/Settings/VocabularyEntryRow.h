#pragma once

#include "Vocabulary/VocabularyEntry.h"

#include <QWidget>

class QLineEdit;
class QToolButton;

namespace velmora {

// One term in the settings: its spelling, its misspellings as typed, and Remove.
// The misspellings field keeps the user's own text ("Maja, , Maia ,") while
// the entry holds the parsed variants.
class VocabularyEntryRow : public QWidget {
    Q_OBJECT
public:
    explicit VocabularyEntryRow(const VocabularyEntry& entry, QWidget* parent = nullptr);

    QUuid id() const { return m_entry.id; }
    VocabularyEntry entry() const { return m_entry; }
    // The entry as the list has it now; a field changes only where it says something else.
    void setEntry(const VocabularyEntry& entry);

    QLineEdit* spellingField() const { return m_spelling; }
    QLineEdit* variantsField() const { return m_variants; }
    QToolButton* removeButton() const { return m_remove; }

signals:
    void edited(const VocabularyEntry& entry);
    void removeRequested(const QUuid& id);

private:
    VocabularyEntry m_entry;
    QLineEdit* m_spelling;
    QLineEdit* m_variants;
    QToolButton* m_remove;
};

} // namespace velmora
