#pragma once

#include "DictationController.h"

#include "Platform/Linux/MainBundle.h"

#include <memory>

namespace velmora {

namespace platform {
class PreferencesStore;
}
class AudioDeviceManager;
class AudioRecorderService;
class SoundEffectService;
class PasteboardAccess;
class VocabularySync;
class WhisperModelManager;
class WhisperTranscriber;
class WhisperWarmUp;

// Velmora's real dictation services, made once and owned together, and the
// controller wired to them. The pieces outlive the controller: it goes first.
class DictationStack {
public:
    DictationStack(std::shared_ptr<platform::PreferencesStore> defaults, const QString& temporaryFolder,
                   const QString& soundsFolder, const platform::MainBundle& bundle);
    ~DictationStack();
    DictationStack(const DictationStack&) = delete;
    DictationStack& operator=(const DictationStack&) = delete;

    DictationController& controller() { return *m_controller; }
    WhisperModelManager& models() { return *m_models; }
    AudioDeviceManager& devices() { return *m_devices; }
    VocabularySync& vocabulary() { return *m_vocabulary; }
    TranscriptionNotificationService& notices() { return *m_notices; }
    SoundEffectService& sounds() { return *m_sounds; }
    DirectInserter& inserter() { return *m_inserter; }
    WhisperWarmUp& warmUp() { return *m_warmUp; }
    // Whether this session lets Velmora send the paste keys.
    static bool canPostKeys();

private:
    std::shared_ptr<platform::PreferencesStore> m_defaults;
    std::unique_ptr<AudioDeviceManager> m_devices;
    std::unique_ptr<AudioRecorderService> m_recorder;
    std::shared_ptr<WhisperTranscriber> m_transcriber;
    std::unique_ptr<WhisperWarmUp> m_warmUp;
    std::unique_ptr<PasteboardAccess> m_clipboard;
    std::unique_ptr<PasteboardAccess> m_primary;
    std::unique_ptr<DirectInserter> m_inserter;
    std::unique_ptr<SoundEffectService> m_sounds;
    std::unique_ptr<TranscriptionNotificationService> m_notices;
    std::unique_ptr<WhisperModelManager> m_models;
    std::unique_ptr<VocabularySync> m_vocabulary;
    std::unique_ptr<DictationController> m_controller;
};

} // namespace velmora
