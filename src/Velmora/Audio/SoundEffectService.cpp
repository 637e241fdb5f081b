#include "SoundEffectService.h"

#include "Preferences/AppPreferences.h"
#include "Preferences/PreferenceKeys.h"

#include "Platform/Linux/PulseAudioConnection.h"
#include "Platform/Linux/PulsePlayback.h"
#include "Platform/LogCategories.h"
#include "Platform/PreferencesStore.h"

#include <QFile>

namespace velmora {

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
    for (auto& playing : m_playing)
        playing.reset();
}

std::optional<SoundEffectService::Sound> SoundEffectService::decode(const QString& path, const QString& name)
{
    auto decoded = platform::SoundFile::decode(path);
    if (!decoded) {
        qCWarning(velmora::logging::sounds) << "cannot load" << path;
        return std::nullopt;
    }
    return Sound{name, std::move(*decoded)};
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
            if (std::holds_alternative<platform::SoundServerError>(made))
                return; // no sound server: no sound, nothing else breaks
            m_playing[0].reset();
            m_playing[1].reset();
            m_connection = std::get<std::shared_ptr<platform::PulseAudioConnection>>(made);
        }
        const Sound& sound = *m_sounds[which];
        // Playing again restarts: the old stream goes first.
        m_playing[which].reset();
        m_playing[which] = platform::PulsePlayback::start(m_connection, sound.name, sound.audio, double(level));
    });
}

} // namespace velmora
