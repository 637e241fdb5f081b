#include "ModelDownloadStatusSection.h"

#include "ModelDownloadView.h"

#include "Model/WhisperModelManager.h"

#include <QVBoxLayout>

namespace velmora {

ModelDownloadStatusSection::ModelDownloadStatusSection(WhisperModelManager& models, PinnedWhisperModel model,
                                                       QWidget* parent)
    : QWidget(parent)
    , m_models(models)
    , m_card(new ModelDownloadView(models, std::move(model), true, this))
{
    setObjectName(QStringLiteral("modelDownloadStatus"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 4, 0, 0);
    layout->addWidget(m_card);
    connect(&m_models, &WhisperModelManager::stateChanged, this, &ModelDownloadStatusSection::refresh);
    refresh();
}

void ModelDownloadStatusSection::refresh()
{
    setVisible(m_models.state().kind != WhisperModelState::Kind::ready);
}

} // namespace velmora
