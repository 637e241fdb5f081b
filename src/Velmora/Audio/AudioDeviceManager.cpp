#include "AudioDeviceManager.h"

#include "Preferences/PreferenceKeys.h"

#include "Platform/Linux/PulseAudioConnection.h"
#include "Platform/Linux/PulseSources.h"
#include "Platform/PreferencesStore.h"

#include <QLoggingCategory>
#include <QtConcurrent/QtConcurrentRun>

#include <pulse/subscribe.h>

Q_LOGGING_CATEGORY(lcDevices, "Velmora.AudioDevices")

namespace velmora {

AudioDeviceManager::AudioDeviceManager(platform::PreferencesStore& defaults, QObject* parent)
    : QObject(parent)
    , m_defaults(defaults)
{
    m_selectedDeviceUID = m_defaults.stringValue(PreferenceKeys::selectedAudioDeviceUID);
    setSelectedDeviceUID(m_selectedDeviceUID); // stored again in its normal form
    connectToServer();
}

AudioDeviceManager::~AudioDeviceManager()
{
    // No server callback may reach `this` from here on; then let running queries end.
    if (m_connection)
        m_connection->withLock([&] { pa_context_set_subscribe_callback(m_connection->context(), nullptr, nullptr); });
    for (auto& work : m_work)
        work.waitForFinished();
    m_connection.reset();
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

void AudioDeviceManager::connectToServer()
{
    m_work.append(QtConcurrent::run([this] {
        auto result = platform::PulseAudioConnection::connect(QStringLiteral("Velmora"));
        if (const int* error = std::get_if<int>(&result)) {
            qCWarning(lcDevices) << "no sound server connection; error" << *error;
            return;
        }
        auto connection = std::get<std::shared_ptr<platform::PulseAudioConnection>>(result);
        connection->withLock([&] {
            pa_context_set_subscribe_callback(
                connection->context(),
                [](pa_context*, pa_subscription_event_type_t type, uint32_t, void* self) {
                    const auto kind = type & PA_SUBSCRIPTION_EVENT_TYPE_MASK;
                    if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) == PA_SUBSCRIPTION_EVENT_SOURCE
                        && (kind == PA_SUBSCRIPTION_EVENT_NEW || kind == PA_SUBSCRIPTION_EVENT_REMOVE
                            || kind == PA_SUBSCRIPTION_EVENT_CHANGE)) {
                        auto* manager = static_cast<AudioDeviceManager*>(self);
                        QMetaObject::invokeMethod(manager, &AudioDeviceManager::refresh, Qt::QueuedConnection);
                    }
                },
                this);
            pa_operation_unref(pa_context_subscribe(connection->context(), PA_SUBSCRIPTION_MASK_SOURCE, nullptr, nullptr));
        });
        QMetaObject::invokeMethod(this, [this, connection] {
            m_connection = connection;
            refresh();
        }, Qt::QueuedConnection);
    }));
}

void AudioDeviceManager::refresh()
{
    if (!m_connection)
        return;
    m_work.erase(std::remove_if(m_work.begin(), m_work.end(), [](const QFuture<void>& f) { return f.isFinished(); }),
                 m_work.end());
    m_work.append(QtConcurrent::run([this, connection = m_connection] {
        QList<AudioInputDevice> devices;
        for (const auto& source : platform::PulseSources::list(*connection)) {
            devices.append({source.index, source.name, source.description,
                            AudioInputDevice::isBuiltInDevice(source.formFactor, source.bus), source.channels});
        }
        QMetaObject::invokeMethod(this, [this, devices] {
            if (devices != m_devices) {
                m_devices = devices;
                emit devicesChanged();
            }
        }, Qt::QueuedConnection);
    }));
}

} // namespace velmora
