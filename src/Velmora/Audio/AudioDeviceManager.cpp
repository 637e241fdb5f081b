#include "AudioDeviceManager.h"

#include "Preferences/PreferenceKeys.h"

#include "Platform/Linux/PulseSourceWatcher.h"
#include "Platform/LogCategories.h"
#include "Platform/PreferencesStore.h"

namespace velmora {

AudioDeviceManager::AudioDeviceManager(platform::PreferencesStore& defaults, QObject* parent)
    : AudioDeviceManager(defaults, platform::PulseSourceWatcher::Timing{}.firstRetry, parent)
{
}

AudioDeviceManager::AudioDeviceManager(platform::PreferencesStore& defaults, std::chrono::milliseconds firstRetry,
                                       QObject* parent)
    : QObject(parent)
    , m_defaults(defaults)
{
    m_selectedDeviceUID = m_defaults.stringValue(PreferenceKeys::selectedAudioDeviceUID);
    setSelectedDeviceUID(m_selectedDeviceUID); // stored again in its normal form
    platform::PulseSourceWatcher::Callbacks callbacks;
    callbacks.sourcesListed = [this](const QList<platform::PulseSource>& sources) {
        QList<AudioInputDevice> devices;
        for (const auto& source : sources) {
            devices.append({source.index, source.name, source.description,
                            AudioInputDevice::isBuiltInDevice(source.formFactor, source.bus), source.channels});
        }
        QMetaObject::invokeMethod(this, [this, devices] { setDevices(devices); }, Qt::QueuedConnection);
    };
    callbacks.connectionChanged = [this](bool connected) {
        QMetaObject::invokeMethod(this, [this, connected] { setConnected(connected); }, Qt::QueuedConnection);
    };
    platform::PulseSourceWatcher::Timing timing;
    timing.firstRetry = firstRetry;
    m_watcher = std::make_unique<platform::PulseSourceWatcher>(std::move(callbacks), timing);
}

AudioDeviceManager::~AudioDeviceManager()
{
    // Joins the watcher: nothing of it reaches `this` afterwards, and what it
    // posted before is dropped with this object.
    m_watcher.reset();
}

void AudioDeviceManager::setSelectedDeviceUID(const std::optional<QString>& uid)
{
    if (uid)
        m_defaults.setString(PreferenceKeys::selectedAudioDeviceUID, *uid);
    else
        m_defaults.remove(PreferenceKeys::selectedAudioDeviceUID);
    if (uid != m_selectedDeviceUID) {
        m_selectedDeviceUID = uid;
        emit selectedDeviceUIDChanged();
    }
}

std::optional<AudioInputDevice> AudioDeviceManager::activeDevice() const
{
    if (!m_selectedDeviceUID)
        return std::nullopt;
    for (const AudioInputDevice& device : m_devices) {
        if (device.uid == *m_selectedDeviceUID && device.inputChannels > 0)
            return device;
    }
    return std::nullopt;
}

bool AudioDeviceManager::isDeviceAlive(const QString& uid) const
{
    return std::any_of(m_devices.begin(), m_devices.end(),
                       [&](const AudioInputDevice& d) { return d.uid == uid && d.inputChannels > 0; });
}

void AudioDeviceManager::setDevices(const QList<AudioInputDevice>& devices)
{
    if (devices != m_devices) {
        m_devices = devices;
        emit devicesChanged();
    }
}

void AudioDeviceManager::setConnected(bool connected)
{
    if (connected != m_connected) {
        m_connected = connected;
        qCInfo(velmora::logging::audioDevices) << (connected ? "connected to the sound server" : "no sound server");
        emit connectedChanged();
    }
}

} // namespace velmora
