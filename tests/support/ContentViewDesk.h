#pragma once

// A content view on a dictation controller whose recorder and transcription
// are held by the caller: for the view tests and the screenshots of its states.
#include "AppUpdater/AppUpdater.h"
#include "Audio/AudioDeviceManager.h"
#include "BrowserBridge/BrowserBridgeCoordinator.h"
#include "Dictation/DictationController.h"
#include "HotKeys/DoubleTapPermissionState.h"
#include "Model/WhisperModelManager.h"
#include "Platform/MemoryPreferencesStore.h"
#include "TextDelivery/SystemPasteboard.h"
#include "Vocabulary/VocabularySync.h"
#include "Views/ContentView.h"

#include <QTemporaryDir>

#include <future>
#include <memory>

namespace velmora::test {

struct HeldRecorder : DictationRecorder {
    Completion pendingStart, pendingStop;
    int starts = 0, stops = 0;
    void startRecording(const std::optional<AudioInputDevice>&, Completion done) override;
    void stopRecording(Completion done) override;
};

struct ContentViewDesk {
    QTemporaryDir dir;
    platform::MemoryPreferencesStore defaults;
    HeldRecorder recorder;
    SystemPasteboard clipboard{platform::Selection::clipboard};
    std::promise<SegmentResult> answer;
    std::shared_future<SegmentResult> result = answer.get_future().share();
    AudioDeviceManager devices{defaults};
    WhisperModelManager models;
    DoubleTapPermissionState permission;
    bool canPostKeys = true; // what the direct-insert section is told
    std::unique_ptr<VocabularySync> sync;
    std::unique_ptr<DictationController> controller;
    std::unique_ptr<ContentView> view;

    struct Options {
        bool managedModel = false; // the controller uses the downloaded model, so the model card can show
        bool show = true;
        BrowserBridgeCoordinator* bridge = nullptr;
        std::optional<QString> cloudFolder; // a real vocabulary sync with this cloud folder
        std::function<void(bool)> setLaunchAtLogin;
        AppUpdater::AppUpdater* updater = nullptr;
        QString versionLabel = QStringLiteral("Version 1.0 (test)");
        QAction* quit = nullptr;
        QAction* checkForUpdates = nullptr;
    };
    explicit ContentViewDesk(Options options);
    ContentViewDesk()
        : ContentViewDesk(Options{})
    {
    }
    ~ContentViewDesk();

    template <typename T>
    T* find(const char* name) const
    {
        return view->findChild<T*>(QString::fromLatin1(name));
    }
    bool visible(const char* name) const;
};

} // namespace velmora::test
