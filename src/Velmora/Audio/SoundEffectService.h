#pragma once

#include <QString>
#include <QThreadPool>

#include <memory>
#include <optional>
#include <vector>

namespace velmora::platform {
class PreferencesStore;
class PulseAudioConnection;
}

struct pa_stream;

namespace velmora {

// The start and stop sounds. Decoded once; played on the sound server from
// a worker thread, so the caller never waits. The preferences are read on
// every use; playing a sound again restarts it.
class SoundEffectService {
public:
    // From the bundle's Resources/sounds, with the standard preferences.
    static SoundEffectService& shared();

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
        std::vector<short> samples;
        int rate = 0;
        int channels = 0;
    };

    static std::optional<Sound> decode(const QString& path, const QString& name);
    void play(int which);

    platform::PreferencesStore& m_defaults;
    std::optional<Sound> m_sounds[2];
    QThreadPool m_worker;
    // Worker thread only.
    std::shared_ptr<platform::PulseAudioConnection> m_connection;
    pa_stream* m_playing[2] = {nullptr, nullptr};
};

} // namespace velmora
