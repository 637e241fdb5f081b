#pragma once

#include "AudioInputDevice.h"

#include <QList>
#include <QObject>

#include <chrono>
#include <memory>
#include <optional>

namespace velmora::platform {
class PreferencesStore;
class PulseSourceWatcher;
}

namespace velmora {

// The input devices and the user's choice among them. State on the main
// thread; the sound-server connection and its queries run on the watcher's
// thread and report back through queued calls, so the GUI never waits on the
// server. A server that restarts, or comes up after us, is followed.
class AudioDeviceManager final : public QObject {
    Q_OBJECT

public:
    explicit AudioDeviceManager(platform::PreferencesStore& defaults, QObject* parent = nullptr);
    AudioDeviceManager(platform::PreferencesStore& defaults, std::chrono::milliseconds firstRetry,
                       QObject* parent = nullptr);
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
    bool isConnected() const { return m_connected; }

signals:
    void devicesChanged();
    void connectedChanged();
    void selectedDeviceUIDChanged();

private:
    void setDevices(const QList<AudioInputDevice>& devices);
    void setConnected(bool connected);

    platform::PreferencesStore& m_defaults;
    QList<AudioInputDevice> m_devices;
    std::optional<QString> m_selectedDeviceUID;
    bool m_connected = false;
    // Last member: it goes first, and no callback of it runs after that.
    std::unique_ptr<platform::PulseSourceWatcher> m_watcher;
};

} // namespace velmora
