#pragma once

#include <QHash>
#include <QUuid>
#include <QWidget>

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace velmora {

class DictationController;
class VocabularyEntryRow;
class VocabularySync;

// The vocabulary in the settings: one row per term, "Add word", and the cloud
// folder's hint. Every edit goes through the controller, which hands the list
// to the sync to be saved; showing the section asks the sync to look again.
class VocabularySettingsSection : public QWidget {
    Q_OBJECT
public:
    VocabularySettingsSection(DictationController& controller, VocabularySync* sync, QWidget* parent = nullptr);

    QList<VocabularyEntryRow*> rows() const;
    void addWord();

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Rows follow the controller's list by identity, so a field being typed in
    // keeps its text and focus when the list changes around it.
    void reconcile();
    void refreshHint();

    DictationController& m_controller;
    VocabularySync* m_sync;
    QLabel* m_hint;
    QVBoxLayout* m_rowColumn;
    QPushButton* m_add;
    QHash<QUuid, VocabularyEntryRow*> m_rows;
    QList<QUuid> m_order;
};

} // namespace velmora
