#include "SoundEffectService.h"

#include "Preferences/AppPreferences.h"
#include "Preferences/PreferenceKeys.h"

#include "Platform/Linux/JsonFilePreferencesStore.h"
#include "Platform/Linux/MainBundle.h"
#include "Platform/Linux/PulseAudioConnection.h"

#include <QFile>
#include <QLoggingCategory>

#include <pulse/stream.h>
#include <pulse/volume.h>
#include <sndfile.h>

Q_LOGGING_CATEGORY(lcSounds, "Velmora.Sounds")

namespace velmora {

SoundEffectService& SoundEffectService::shared()
{
    static SoundEffectService service(
        *platform::MainBundle::current(std::nullopt).resourcePath + QStringLiteral("/sounds"),
        *platform::JsonFilePreferencesStore::standard());
    return service;
}

SoundEffectService::SoundEffectService(const QString& soundsFolder, platform::PreferencesStore& defaults)
    : m_defaults(defaults)
{
    m_worker.setMaxThreadCount(1);
    m_worker.setExpiryTimeout(-1);
    m_sounds[0] = decode(soundsFolder + QStringLiteral("/recording-start.oga"), QStringLiteral("recording-start"));
    m_sounds[1] = decode(soundsFolder + QStringLiteral("/recording-stop.oga"), QStringLiteral("recording-stop"));
}

SoundEffectService::~SoundEffectService()
{
    m_worker.waitForDone();
    if (m_connection) {
        m_connection->withLock([&] {
            for (pa_stream*& stream : m_playing) {
                if (stream) {
                    pa_stream_disconnect(stream);
                    pa_stream_unref(stream);
                    stream = nullptr;
                }
            }
        });
    }
}

std::optional<SoundEffectService::Sound> SoundEffectService::decode(const QString& path, const QString& name)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file) {
        qCWarning(lcSounds) << "cannot load" << path;
        return std::nullopt;
    }
    Sound sound{name, std::vector<short>(size_t(info.frames) * size_t(info.channels)), info.samplerate, info.channels};
    sf_readf_short(file, sound.samples.data(), info.frames);
    sf_close(file);
    return sound;
}

bool SoundEffectService::isEnabled() const
{
    return AppPreferences(m_defaults).soundEffectsEnabled();
}

float SoundEffectService::volume() const
{
    return AppPreferences(m_defaults).soundEffectsVolume();
}

void SoundEffectService::setVolume(float volume)
{
    m_defaults.setFloat(PreferenceKeys::soundEffectsVolume, volume);
}

void SoundEffectService::waitForPlays()
{
    m_worker.waitForDone();
}

void SoundEffectService::play(int which)
{
    if (!isEnabled() || !m_sounds[which])
        return;
    const float level = volume();
    m_worker.start([this, which, level] {
        if (!m_connection || !m_connection->isReady()) {
            auto made = platform::PulseAudioConnection::connect(QStringLiteral("Velmora"));
            if (std::holds_alternative<int>(made))
                return; // no sound server: no sound, nothing else breaks
            m_connection = std::get<std::shared_ptr<platform::PulseAudioConnection>>(made);
            m_playing[0] = m_playing[1] = nullptr;
        }
        const Sound& sound = *m_sounds[which];
        m_connection->withLock([&] {
            // Playing again restarts: the old stream goes first.
            if (pa_stream*& old = m_playing[which]) {
                pa_stream_disconnect(old);
                pa_stream_unref(old);
                old = nullptr;
            }
            const pa_sample_spec spec{PA_SAMPLE_S16LE, uint32_t(sound.rate), uint8_t(sound.channels)};
            pa_proplist* properties = pa_proplist_new();
            pa_proplist_sets(properties, PA_PROP_MEDIA_ROLE, "event");
            pa_stream* stream = pa_stream_new_with_proplist(m_connection->context(), sound.name.toUtf8().constData(),
                                                            &spec, nullptr, properties);
            pa_proplist_free(properties);
            if (!stream)
                return;
            pa_cvolume volume;
            pa_cvolume_set(&volume, spec.channels, pa_sw_volume_from_linear(double(level)));
            pa_stream_set_state_callback(stream, [](pa_stream*, void* loop) {
                pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
            }, m_connection->mainloop());
            if (pa_stream_connect_playback(stream, nullptr, nullptr, PA_STREAM_NOFLAGS, &volume, nullptr) < 0) {
                pa_stream_unref(stream);
                return;
            }
            while (pa_stream_get_state(stream) == PA_STREAM_CREATING)
                pa_threaded_mainloop_wait(m_connection->mainloop());
            pa_stream_set_state_callback(stream, nullptr, nullptr);
            if (pa_stream_get_state(stream) != PA_STREAM_READY) {
                pa_stream_unref(stream);
                return;
            }
            pa_stream_write(stream, sound.samples.data(), sound.samples.size() * sizeof(short), nullptr, 0, PA_SEEK_RELATIVE);
            m_playing[which] = stream;
        });
    });
}

} // namespace velmora
