#pragma once

#include "AudioInputDevice.h"

#include <QFuture>
#include <QList>
#include <QObject>

#include <memory>
#include <optional>

namespace velmora::platform {
class PreferencesStore;
class PulseAudioConnection;
}

namespace velmora {

// The input devices and the user's choice among them. State on the main
// thread; the sound-server connection and its queries run elsewhere and
// report back through queued calls, so the GUI never waits on the server.
class AudioDeviceManager final : public QObject {
    Q_OBJECT

public:
    explicit AudioDeviceManager(platform::PreferencesStore& defaults, QObject* parent = nullptr);
    ~AudioDeviceManager() override;

    const QList<AudioInputDevice>& devices() const { return m_devices; }
    const std::optional<QString>& selectedDeviceUID() const { return m_selectedDeviceUID; }
    // Stored at once; none removes the key ("System Default").
    void setSelectedDeviceUID(const std::optional<QString>& uid);

    // The chosen device if it is present with input channels now.
    std::optional<AudioInputDevice> activeDevice() const;
    // What to record from: the active device, or none for the server's default.
    std::optional<AudioInputDevice> activeCaptureDevice() const { return activeDevice(); }
    bool isDeviceAlive(const QString& uid) const;
    bool isConnected() const { return m_connection != nullptr; }

signals:
    void devicesChanged();
    void selectedDeviceUIDChanged();

private:
    void connectToServer();
    void refresh();

    platform::PreferencesStore& m_defaults;
    QList<AudioInputDevice> m_devices;
    std::optional<QString> m_selectedDeviceUID;
    std::shared_ptr<platform::PulseAudioConnection> m_connection;
    QList<QFuture<void>> m_work;
};

} // namespace velmora
