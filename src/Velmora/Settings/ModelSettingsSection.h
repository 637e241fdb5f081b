#pragma once

#include "Model/DiscoveredModel.h"
#include "Model/PinnedWhisperModel.h"

#include <QPointer>
#include <QWidget>

#include <functional>

class QFileDialog;
class QPushButton;
class QToolButton;
class QVBoxLayout;

namespace velmora {

class DictationController;
class WhisperModelManager;

// The speech model in the settings: one row per model file found beside the
// managed one, "Add model…" for any other file, and the download card while
// the managed model is not ready. Rows and button rest while a dictation runs.
class ModelSettingsSection : public QWidget {
    Q_OBJECT
public:
    // Lists the model files for the managed model's path; it reads the disk, so it runs off the main thread.
    using Discover = std::function<QList<DiscoveredModel>(const QString& managedModelPath)>;

    ModelSettingsSection(DictationController& controller, WhisperModelManager& models, PinnedWhisperModel model,
                         Discover discover = &DiscoveredModel::discover, QWidget* parent = nullptr);
    ~ModelSettingsSection() override;

    QList<DiscoveredModel> availableModels() const { return m_available; }
    QList<QToolButton*> rows() const { return m_rowButtons; }
    // The chooser, Qt's own and a child of this window, so the popover stays open.
    QFileDialog* openModelChooser();
    // What confirming a file in the chooser does.
    void chooseModelFile(const QString& path);

signals:
    void modelsDiscovered();

private:
    void discoverModels();
    void rebuildRows();
    void refresh();

    DictationController& m_controller;
    Discover m_discover;
    QList<DiscoveredModel> m_available;
    QString m_chosenPath; // a file the user added, kept in the list
    quint64 m_discovery = 0;
    QVBoxLayout* m_rowColumn;
    QList<QToolButton*> m_rowButtons;
    QPushButton* m_add;
    QPointer<QFileDialog> m_chooser;
};

} // namespace velmora
