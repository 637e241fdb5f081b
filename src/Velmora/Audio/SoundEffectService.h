#pragma once

#include "Platform/Linux/SoundFile.h"

#include <QString>
#include <QThreadPool>

#include <memory>
#include <optional>
#include <vector>

namespace velmora::platform {
class PreferencesStore;
class PulseAudioConnection;
class PulsePlayback;
}

namespace velmora {

// The start and stop sounds. Decoded once; played on the sound server from
// a worker thread, so the caller never waits. The preferences are read on
// every use; playing a sound again restarts it; a played sound leaves the
// server once it has drained.
class SoundEffectService {
public:
    SoundEffectService(const QString& soundsFolder, platform::PreferencesStore& defaults);
    ~SoundEffectService();

    bool isEnabled() const;
    float volume() const;
    // Stored at once; the next play uses it.
    void setVolume(float volume);

    bool hasStartSound() const { return m_sounds[0].has_value(); }
    bool hasStopSound() const { return m_sounds[1].has_value(); }
    void playStartSound() { play(0); }
    void playStopSound() { play(1); }
    // Waits until queued plays have reached the sound server (for tests and shutdown).
    void waitForPlays();

private:
    struct Sound {
        QString name;
        platform::DecodedSound audio;
    };

    static std::optional<Sound> decode(const QString& path, const QString& name);
    void play(int which);

    platform::PreferencesStore& m_defaults;
    std::optional<Sound> m_sounds[2];
    QThreadPool m_worker;
    // Worker thread only.
    std::shared_ptr<platform::PulseAudioConnection> m_connection;
    std::unique_ptr<platform::PulsePlayback> m_playing[2];
};

} // namespace velmora
