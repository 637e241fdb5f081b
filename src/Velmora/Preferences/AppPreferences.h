#pragma once

#include "Dictation/DictationMode.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace velmora::platform {
class PreferencesStore;
}

namespace velmora {

// The typed, normalised reads of the preference keys: a missing key and a
// value of the wrong type both give the key's default.
class AppPreferences {
public:
    explicit AppPreferences(const platform::PreferencesStore& store) : m_store(store) {}

    DictationMode dictationMode() const;
    bool autoCopyToClipboard() const;
    bool directInsert() const;
    bool spaceBetweenDictations() const;
    // Strings of the stored array; anything else in it, or another type, is left out.
    QStringList terminalWindowClasses() const;
    bool notifyOnTranscriptionComplete() const;
    bool autoClearTranscript() const;
    // Seconds; a stored value below 1 reads as 10.
    qint64 autoClearDelay() const;
    bool soundEffectsEnabled() const;
    // 0 to 1; a stored 0 stays silent.
    float soundEffectsVolume() const;
    bool durationWarningsEnabled() const;
    std::optional<QString> selectedAudioDeviceUID() const;
    bool browserIntegration() const;
    // The hot key and its trigger mode: standardHotKeySettingsStore and HotKeyModeStore.
    bool launchAtLogin() const;
    bool allowMultipleInstances() const;

    static qint64 normalizedAutoClearDelay(qint64 stored);

private:
    const platform::PreferencesStore& m_store;
};

} // namespace velmora
