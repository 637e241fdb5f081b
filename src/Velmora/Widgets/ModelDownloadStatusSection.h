#pragma once

#include "Model/PinnedWhisperModel.h"

#include <QWidget>

namespace velmora {

class ModelDownloadView;
class WhisperModelManager;

// The compact model card in the settings, there only while the model is not ready.
class ModelDownloadStatusSection : public QWidget {
    Q_OBJECT
public:
    ModelDownloadStatusSection(WhisperModelManager& models, PinnedWhisperModel model, QWidget* parent = nullptr);

private:
    void refresh();

    WhisperModelManager& m_models;
    ModelDownloadView* m_card;
};

} // namespace velmora
