#include "VocabularyEntryRow.h"

#include "SettingsStyle.h"

#include "Vocabulary/VocabularyStore.h"
#include "Widgets/SymbolIcon.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QToolButton>

namespace velmora {

VocabularyEntryRow::VocabularyEntryRow(const VocabularyEntry& entry, QWidget* parent)
    : QWidget(parent)
    , m_entry(entry)
{
    setObjectName(QStringLiteral("vocabularyRow"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    m_spelling = new QLineEdit(entry.spelling, this);
    m_spelling->setObjectName(QStringLiteral("vocabularySpelling"));
    m_spelling->setPlaceholderText(QStringLiteral("Correct spelling, e.g. Maya"));
    m_spelling->setMaxLength(VocabularyStore::Limits().characters);
    m_spelling->setAccessibleName(QStringLiteral("Correct spelling"));
    m_spelling->setFont(SettingsStyle::font(font(), 12));
    row->addWidget(m_spelling, 2);
    m_variants = new QLineEdit(entry.variants.join(QStringLiteral(", ")), this);
    m_variants->setObjectName(QStringLiteral("vocabularyVariants"));
    m_variants->setPlaceholderText(QStringLiteral("Misspellings, e.g. Maja, Maia"));
    m_variants->setAccessibleName(QStringLiteral("Misspellings, separated by commas"));
    m_variants->setFont(SettingsStyle::font(font(), 12));
    row->addWidget(m_variants, 3);
    m_remove = new QToolButton(this);
    m_remove->setObjectName(QStringLiteral("vocabularyRemove"));
    m_remove->setAutoRaise(true);
    m_remove->setFocusPolicy(Qt::StrongFocus);
    m_remove->setIcon(SymbolIcon::icon(Symbol::minusCircle, SettingsStyle::secondary(palette())));
    m_remove->setIconSize(QSize(13, 13));
    m_remove->setToolTip(QStringLiteral("Remove"));
    m_remove->setAccessibleName(QStringLiteral("Remove"));
    row->addWidget(m_remove);

    connect(m_spelling, &QLineEdit::textEdited, this, [this](const QString& text) {
        m_entry.spelling = text; // as typed: the corrector trims where it uses it
        emit edited(m_entry);
    });
    connect(m_variants, &QLineEdit::textEdited, this, [this](const QString& text) {
        m_entry.variants = VocabularyEntry::parseVariants(text);
        emit edited(m_entry);
    });
    connect(m_remove, &QToolButton::clicked, this, [this] { emit removeRequested(m_entry.id); });
}

void VocabularyEntryRow::setEntry(const VocabularyEntry& entry)
{
    m_entry = entry;
    if (m_spelling->text() != entry.spelling)
        m_spelling->setText(entry.spelling);
    if (VocabularyEntry::parseVariants(m_variants->text()) != entry.variants)
        m_variants->setText(entry.variants.join(QStringLiteral(", ")));
}

} // namespace velmora
