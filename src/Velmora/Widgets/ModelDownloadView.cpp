#include "ModelDownloadView.h"

#include "Model/WhisperModelManager.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedLayout>
#include <QVBoxLayout>

namespace velmora {

ModelDownloadView::ModelDownloadView(WhisperModelManager& models, PinnedWhisperModel model, bool compact,
                                     QWidget* parent)
    : QWidget(parent)
    , m_models(models)
    , m_model(std::move(model))
    , m_compact(compact)
{
    setObjectName(QStringLiteral("modelDownloadView"));
    auto* layout = new QVBoxLayout(this);
    layout->setAlignment(Qt::AlignCenter);
    layout->setSpacing(8);
    if (!compact) {
        m_symbol = new QLabel(this);
        m_symbol->setAlignment(Qt::AlignCenter);
        QFont symbolFont = m_symbol->font();
        symbolFont.setPixelSize(26);
        m_symbol->setFont(symbolFont);
        layout->addWidget(m_symbol);
    }
    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("modelTitle"));
    m_title->setAlignment(Qt::AlignCenter);
    QFont titleFont = m_title->font();
    titleFont.setWeight(QFont::DemiBold);
    m_title->setFont(titleFont);
    layout->addWidget(m_title);
    m_progress = new QProgressBar(this);
    m_progress->setTextVisible(false);
    m_progress->setFixedHeight(6);
    if (!compact)
        m_progress->setMaximumWidth(240);
    layout->addWidget(m_progress, 0, compact ? Qt::Alignment() : Qt::AlignHCenter);
    m_detail = new QLabel(this);
    m_detail->setObjectName(QStringLiteral("modelDetail"));
    m_detail->setAlignment(Qt::AlignCenter);
    m_detail->setWordWrap(true);
    QFont detailFont = m_detail->font();
    detailFont.setPixelSize(11);
    m_detail->setFont(detailFont);
    layout->addWidget(m_detail);
    m_action = new QPushButton(this);
    m_action->setObjectName(QStringLiteral("modelAction"));
    layout->addWidget(m_action, 0, Qt::AlignHCenter);
    connect(m_action, &QPushButton::clicked, this, [this] {
        if (m_presentation.action == ModelDownloadPresentation::Action::cancel)
            m_models.cancel();
        else if (m_presentation.action != ModelDownloadPresentation::Action::none)
            m_models.download();
    });
    connect(&m_models, &WhisperModelManager::stateChanged, this, &ModelDownloadView::refresh);
    refresh();
}

void ModelDownloadView::refresh()
{
    m_presentation = ModelDownloadPresentation::of(m_models.state(), m_model);
    const auto& p = m_presentation;
    if (m_symbol) {
        m_symbol->setText(p.isWarning ? QStringLiteral("⚠") : QStringLiteral("⬇"));
        m_symbol->setStyleSheet(p.isWarning ? QStringLiteral("color: #f5a623;") : QStringLiteral("color: palette(highlight);"));
    }
    m_title->setText(p.title);
    m_progress->setVisible(p.progress != ModelDownloadPresentation::Progress::none);
    if (p.progress == ModelDownloadPresentation::Progress::determinate) {
        m_progress->setRange(0, 1000);
        m_progress->setValue(int(p.fraction * 1000));
    } else {
        m_progress->setRange(0, 0); // busy
    }
    m_detail->setText(p.detail);
    m_action->setVisible(p.action != ModelDownloadPresentation::Action::none);
    m_action->setText(ModelDownloadPresentation::actionTitle(p.action));
}

ModelDownloadGate::ModelDownloadGate(WhisperModelManager& models, PinnedWhisperModel model, QWidget* content,
                                     QWidget* parent)
    : QWidget(parent)
    , m_models(models)
    , m_content(content)
    , m_card(new ModelDownloadView(models, std::move(model), false, this))
{
    auto* layout = new QStackedLayout(this);
    layout->addWidget(content);
    layout->addWidget(m_card);
    connect(&m_models, &WhisperModelManager::stateChanged, this, &ModelDownloadGate::refresh);
    refresh();
}

void ModelDownloadGate::setUsesDownloadedModel(bool uses)
{
    m_usesDownloadedModel = uses;
    refresh();
}

bool ModelDownloadGate::showsCard() const
{
    return m_usesDownloadedModel && m_models.state().kind != WhisperModelState::Kind::ready;
}

void ModelDownloadGate::refresh()
{
    static_cast<QStackedLayout*>(layout())->setCurrentWidget(showsCard() ? static_cast<QWidget*>(m_card) : m_content);
}

} // namespace velmora
