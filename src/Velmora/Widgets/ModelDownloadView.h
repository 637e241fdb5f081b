#pragma once

#include "ModelDownloadPresentation.h"

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

namespace velmora {

class WhisperModelManager;

// The model's status card: what is happening to the speech model and the one
// action that fits (Download, Cancel, Retry).
class ModelDownloadView : public QWidget {
    Q_OBJECT
public:
    ModelDownloadView(WhisperModelManager& models, PinnedWhisperModel model, bool compact, QWidget* parent = nullptr);

    const ModelDownloadPresentation& presentation() const { return m_presentation; }

private:
    void refresh();

    WhisperModelManager& m_models;
    PinnedWhisperModel m_model;
    bool m_compact;
    ModelDownloadPresentation m_presentation;
    QLabel* m_symbol = nullptr;
    QLabel* m_title;
    QProgressBar* m_progress;
    QLabel* m_detail;
    QPushButton* m_action;
};

// Shows the card in place of `content` while the managed model is in use and not ready.
class ModelDownloadGate : public QWidget {
    Q_OBJECT
public:
    ModelDownloadGate(WhisperModelManager& models, PinnedWhisperModel model, QWidget* content,
                      QWidget* parent = nullptr);

    void setUsesDownloadedModel(bool uses);
    bool showsCard() const;

private:
    void refresh();

    WhisperModelManager& m_models;
    bool m_usesDownloadedModel = true;
    QWidget* m_content;
    ModelDownloadView* m_card;
};

} // namespace velmora
