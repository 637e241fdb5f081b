#pragma once

#include "ModelSettingsSection.h"

#include "Model/PinnedWhisperModel.h"

#include <QWidget>

#include <functional>

class QButtonGroup;
class QCheckBox;
class QScrollArea;
class QSlider;
class QSpinBox;

namespace AppUpdater {
class AppUpdater;
}

namespace HotKeyCore {
class GlobalHotKeyManager;
class ShortcutRecorderController;
}

namespace velmora {

namespace platform {
class PreferencesStore;
}
class BrowserBridgeCoordinator;
class DictationController;
class DoubleTapPermissionState;
class VocabularySync;
class WhisperModelManager;

// The settings screen, shown in the popover in place of the main view. It is
// made each time it opens and keeps nothing: every control writes through the
// controller or its store the moment it changes, and the services follow.
class SettingsView : public QWidget {
    Q_OBJECT
public:
    struct Parts {
        DictationController& controller;
        WhisperModelManager& models;
        PinnedWhisperModel model;
        platform::PreferencesStore& defaults;
        DoubleTapPermissionState& doubleTapPermission;
        VocabularySync* vocabularySync = nullptr;
        BrowserBridgeCoordinator* bridge = nullptr; // none: the section is left out
        std::function<bool()> canPostKeys;
        ModelSettingsSection::Discover discoverModels = &DiscoveredModel::discover;
        std::function<void()> announceHotKeyChange; // none: the application's hot-key notice
        std::function<void(bool)> setLaunchAtLogin;  // none: the switch is left out
        AppUpdater::AppUpdater* updater = nullptr;    // none: no update section
        HotKeyCore::GlobalHotKeyManager* hotKey = nullptr; // for how the desktop bound the combination
    };
    explicit SettingsView(Parts parts, QWidget* parent = nullptr);
    ~SettingsView() override;

    HotKeyCore::ShortcutRecorderController& shortcutRecorder() const { return *m_recorder; }
    QScrollArea* scrollArea() const { return m_scroll; }

signals:
    void closeRequested();

protected:
    // A shortcut being recorded ends when the popover goes away under it.
    void hideEvent(QHideEvent* event) override;

private:
    QWidget* makeHeader();
    QWidget* makeModeSection(QWidget* parent);
    QWidget* makeLanguageSection(QWidget* parent);
    QWidget* makeSoundSection(QWidget* parent);
    QWidget* makeAutoClearSection(QWidget* parent);
    void refresh();

    Parts m_parts;
    HotKeyCore::ShortcutRecorderController* m_recorder;
    QScrollArea* m_scroll = nullptr;
    QButtonGroup* m_modes = nullptr;
    QButtonGroup* m_languages = nullptr;
    QCheckBox* m_autoCopy = nullptr;
    QCheckBox* m_sound = nullptr;
    QWidget* m_volumeRow = nullptr;
    QSlider* m_volume = nullptr;
    QCheckBox* m_durationWarnings = nullptr;
    QCheckBox* m_completionNotice = nullptr;
    QCheckBox* m_autoClear = nullptr;
    QWidget* m_autoClearRow = nullptr;
    QSpinBox* m_autoClearDelay = nullptr;
    QCheckBox* m_launchAtLogin = nullptr;
};

} // namespace velmora
