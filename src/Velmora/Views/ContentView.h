#pragma once

#include "Model/PinnedWhisperModel.h"

#include <QWidget>

#include <functional>

class QAction;

namespace AppUpdater {
class AppUpdater;
}

namespace HotKeyCore {
class GlobalHotKeyManager;
}
class QLabel;
class QStackedWidget;
class QToolButton;

namespace velmora {

namespace platform {
class PreferencesStore;
}
class AudioDeviceManager;
class BrowserBridgeCoordinator;
class CopiedToast;
class DictationController;
class DoubleTapPermissionState;
class MessageBanner;
class MicrophonePickerView;
class ModelDownloadGate;
class RecordButton;
class SettingsView;
class TranscriptEditor;
class VocabularySync;
class WhisperModelManager;

// The popover's face: status, microphone, the record button, the editable
// transcript, banners and the footer. It holds no dictation logic: it draws
// the controller's published state and calls its commands.
class ContentView : public QWidget {
    Q_OBJECT
public:
    static constexpr QSize preferredSize{400, 480};

    struct Parts {
        DictationController& controller;
        platform::PreferencesStore& defaults; // the settings' own store
        AudioDeviceManager& devices;
        WhisperModelManager& models;
        PinnedWhisperModel model;
        DoubleTapPermissionState& doubleTapPermission;
        QString versionLabel;
        QAction* quitAction = nullptr; // "Quit Velmora"
        QAction* checkForUpdatesAction = nullptr; // "Check for Updates…"
        HotKeyCore::GlobalHotKeyManager* hotKey = nullptr; // its refusal is shown
        VocabularySync* vocabularySync = nullptr;           // the settings show its hint
        BrowserBridgeCoordinator* bridge = nullptr;         // none: no browser section
        std::function<bool()> canPostKeys;                  // whether paste keys can be sent
        std::function<void(bool)> setLaunchAtLogin;         // none: no launch-at-login switch
        AppUpdater::AppUpdater* updater = nullptr;          // none: no update section
    };
    explicit ContentView(Parts parts, QWidget* parent = nullptr);

    bool showsSetup() const { return m_showsSetup; }
    void setShowsSetup(bool shows);

    // For tests and screenshots.
    RecordButton* recordButton() const { return m_record; }
    TranscriptEditor* editor() const { return m_editor; }
    SettingsView* settingsView() const { return m_settings; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QWidget* makeHeader();
    QWidget* makeRecordSection();
    QWidget* makeFooter();
    void recordPressed();
    void refreshState();
    void refreshTranscript();
    void refreshFooter();
    void refreshHotKeyHint();

    Parts m_parts;
    bool m_showsSetup = false;
    QStackedWidget* m_pages = nullptr;
    QLabel* m_status = nullptr;
    MicrophonePickerView* m_microphone = nullptr;
    ModelDownloadGate* m_gate = nullptr;
    RecordButton* m_record = nullptr;
    QLabel* m_timer = nullptr;
    QToolButton* m_copy = nullptr;
    QToolButton* m_clear = nullptr;
    TranscriptEditor* m_editor = nullptr;
    MessageBanner* m_error = nullptr;
    MessageBanner* m_hotKeyHint = nullptr;
    QLabel* m_count = nullptr;
    QLabel* m_countdown = nullptr;
    CopiedToast* m_toast = nullptr;
    SettingsView* m_settings = nullptr; // made each time the settings open
};

} // namespace velmora
