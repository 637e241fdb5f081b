#include "VocabularySettingsSection.h"

#include "SettingsStyle.h"
#include "VocabularyEntryRow.h"

#include "Dictation/DictationController.h"
#include "Widgets/SymbolIcon.h"
#include "Vocabulary/VocabularyStore.h"
#include "Vocabulary/VocabularySync.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace velmora {

VocabularySettingsSection::VocabularySettingsSection(DictationController& controller, VocabularySync* sync,
                                                     QWidget* parent)
    : QWidget(parent)
    , m_controller(controller)
    , m_sync(sync)
{
    setObjectName(QStringLiteral("vocabularySection"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    column->addWidget(SettingsStyle::sectionTitle(QStringLiteral("Vocabulary"), Symbol::characterBookClosed, this));
    column->addWidget(SettingsStyle::caption(
        QStringLiteral("Names and terms to spell correctly. Misspellings are replaced after transcription."), false,
        this));
    m_hint = new QLabel(this);
    m_hint->setObjectName(QStringLiteral("vocabularySyncHint"));
    m_hint->setWordWrap(true);
    m_hint->setFont(SettingsStyle::font(font(), 11));
    m_hint->setStyleSheet(QStringLiteral("color: #ff9500;"));
    column->addWidget(m_hint);
    m_rowColumn = new QVBoxLayout;
    m_rowColumn->setSpacing(4);
    column->addLayout(m_rowColumn);
    m_add = new QPushButton(QStringLiteral("Add word"), this);
    m_add->setObjectName(QStringLiteral("vocabularyAdd"));
    m_add->setFlat(true);
    m_add->setIcon(SymbolIcon::icon(Symbol::plusCircle, palette().color(QPalette::Highlight)));
    m_add->setFont(SettingsStyle::font(font(), 12));
    m_add->setAccessibleName(QStringLiteral("Add word"));
    m_add->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    column->addWidget(m_add, 0, Qt::AlignLeft);

    connect(m_add, &QPushButton::clicked, this, &VocabularySettingsSection::addWord);
    connect(&m_controller, &DictationController::vocabularyChanged, this, &VocabularySettingsSection::reconcile);
    if (m_sync)
        connect(m_sync, &VocabularySync::hintChanged, this, &VocabularySettingsSection::refreshHint);
    reconcile();
    refreshHint();
}

QList<VocabularyEntryRow*> VocabularySettingsSection::rows() const
{
    QList<VocabularyEntryRow*> ordered;
    for (const QUuid& id : m_order)
        ordered.append(m_rows.value(id));
    return ordered;
}

void VocabularySettingsSection::addWord()
{
    QList<VocabularyEntry> entries = m_controller.vocabulary();
    const QUuid id = QUuid::createUuid();
    entries.append({id, QString(), {}});
    m_controller.setVocabulary(entries);
    if (VocabularyEntryRow* row = m_rows.value(id))
        row->spellingField()->setFocus(Qt::TabFocusReason);
}

void VocabularySettingsSection::reconcile()
{
    const QList<VocabularyEntry> entries = m_controller.vocabulary();
    QHash<QUuid, VocabularyEntryRow*> kept;
    QList<QUuid> order;
    for (const VocabularyEntry& entry : entries) {
        if (kept.contains(entry.id))
            continue; // a duplicated id would otherwise edit two rows as one
        VocabularyEntryRow* row = m_rows.take(entry.id);
        if (row) {
            row->setEntry(entry);
        } else {
            row = new VocabularyEntryRow(entry, this);
            connect(row, &VocabularyEntryRow::edited, this, [this](const VocabularyEntry& edited) {
                QList<VocabularyEntry> list = m_controller.vocabulary();
                for (VocabularyEntry& item : list) {
                    if (item.id == edited.id)
                        item = edited;
                }
                m_controller.setVocabulary(list);
            });
            connect(row, &VocabularyEntryRow::removeRequested, this, [this](const QUuid& id) {
                QList<VocabularyEntry> list = m_controller.vocabulary();
                list.removeIf([&](const VocabularyEntry& item) { return item.id == id; });
                m_controller.setVocabulary(list);
            });
        }
        kept.insert(entry.id, row);
        order.append(entry.id);
    }
    for (VocabularyEntryRow* gone : std::as_const(m_rows))
        gone->deleteLater();
    m_rows = kept;
    // A word past the limit would be kept in the file but never used.
    const bool full = entries.size() >= VocabularyStore::Limits().entries;
    m_add->setEnabled(!full);
    m_add->setToolTip(full ? QStringLiteral("Velmora uses at most %1 words.").arg(VocabularyStore::Limits().entries)
                           : QString());
    if (order == m_order)
        return;
    m_order = order;
    while (m_rowColumn->count() > 0)
        delete m_rowColumn->takeAt(0);
    QList<QWidget*> fields;
    for (const QUuid& id : std::as_const(m_order)) {
        VocabularyEntryRow* row = m_rows.value(id);
        m_rowColumn->addWidget(row);
        row->show();
        fields << row->spellingField() << row->variantsField() << row->removeButton();
    }
    // Tab goes through the rows in their order, then to "Add word".
    SettingsStyle::placeBeforeInTabOrder(fields, m_add);
}

void VocabularySettingsSection::refreshHint()
{
    const QString hint = m_sync ? m_sync->hintText() : QString();
    m_hint->setText(hint);
    m_hint->setVisible(!hint.isEmpty());
}

void VocabularySettingsSection::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_controller.refreshVocabularyFromSync();
}

} // namespace velmora
