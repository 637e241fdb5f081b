#pragma once

#include "BridgeSendQueue.h"
#include "BrowserBridgeRequest.h"
#include "BrowserBridgeServer.h"
#include "BrowserSessionController.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

namespace velmora {

namespace platform {
class PreferencesStore;
}

// The application's owner of the browser bridge: the on/off preference, the
// socket server and the Edge manifest, and which connection owns the one browser
// session. Main thread only; replies and events leave through a send queue.
class BrowserBridgeCoordinator : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString status READ status NOTIFY statusChanged)
    Q_PROPERTY(bool isEnabled READ isEnabled WRITE setEnabled NOTIFY isEnabledChanged)
public:
    // Defaults: the standard preferences, $HOME, this executable, the bridge socket
    // under the application-support folder, and VELMORA_BRIDGE_ALLOW_ANY_PATH=1.
    explicit BrowserBridgeCoordinator(platform::PreferencesStore* defaults = nullptr,
                                      std::optional<QString> home = std::nullopt,
                                      std::optional<std::optional<QString>> executablePath = std::nullopt,
                                      std::optional<QString> socketPath = std::nullopt,
                                      std::optional<bool> allowAnyPath = std::nullopt, QObject* parent = nullptr);
    ~BrowserBridgeCoordinator() override;

    QString status() const { return m_status; }
    bool isEnabled() const { return m_isEnabled; }
    void setEnabled(bool enabled);

    void setController(BrowserSessionController* controller) { m_controller = controller; }
    void apply();
    void stop();

    void handle(const BrowserBridgeRequest& request, const std::shared_ptr<BrowserBridgeConnection>& connection,
                quint64 generation);
    void disconnected(const std::shared_ptr<BrowserBridgeConnection>& connection);

    std::optional<QString> activeSessionID() const { return m_activeSessionID; }
    quint64 generation() const { return m_generation; }
    bool isListening() const { return m_server && m_server->isListening(); }

signals:
    void statusChanged(const QString& status);
    void isEnabledChanged(bool isEnabled);

private:
    std::unique_ptr<BrowserBridgeServer> makeServer(quint64 generation);
    void setStatus(const QString& status);
    void clearActiveAndCancel();

    std::shared_ptr<platform::PreferencesStore> m_ownedDefaults;
    platform::PreferencesStore* m_defaults;
    QString m_home;
    std::optional<QString> m_executablePath;
    QString m_socketPath;
    bool m_allowAnyPath;
    bool m_isEnabled;
    QString m_status;
    BrowserSessionController* m_controller = nullptr;
    std::unique_ptr<BrowserBridgeServer> m_server;
    std::shared_ptr<BrowserBridgeConnection> m_activeConnection;
    std::optional<QString> m_activeSessionID;
    quint64 m_generation = 0;
    std::shared_ptr<BridgeSendQueue> m_sends = BridgeSendQueue::create();
};

} // namespace velmora
