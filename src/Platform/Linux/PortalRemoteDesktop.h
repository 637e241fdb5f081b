#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QMutex>
#include <QObject>
#include <QVariantMap>

#include <functional>

namespace velmora::platform {

// A keyboard-only session of the desktop portal's RemoteDesktop interface (KDE
// Plasma, GNOME), through which Velmora sends its paste keys to Wayland windows.
// The desktop asks the user once; where it gives a restore token (KDE) the next
// start is not asked again. GNOME 43's portal gives none, so it asks at each start.
// Started and answered on the main thread; keys may be sent from any thread.
class PortalRemoteDesktop : public QObject {
    Q_OBJECT
public:
    struct TokenStore {
        std::function<QString()> load;
        std::function<void(const QString&)> save;
    };

    explicit PortalRemoteDesktop(TokenStore tokens, QDBusConnection bus = QDBusConnection::sessionBus(),
                                 QObject* parent = nullptr);
    ~PortalRemoteDesktop() override;

    // The application's one session, made by prepare() on the main thread.
    static PortalRemoteDesktop* shared();
    static void prepare(TokenStore tokens);

    void start();
    bool isStarted() const;
    // Presses (true) or releases (false) the key of an X keysym; blocks at most a second.
    bool sendKeysym(int keysym, bool pressed);

signals:
    void started();
    void failed();

private slots:
    void response(uint code, const QVariantMap& results, const QDBusMessage& message);

private:
    QString request(const QString& method, const QVariantList& arguments, QVariantMap options);
    void fail();

    TokenStore m_tokens;
    QDBusConnection m_bus;
    QString m_createRequest, m_selectRequest, m_startRequest;
    mutable QMutex m_lock;
    QString m_session; // guarded: read by the threads that send keys
    bool m_started = false;
    quint32 m_tokensMade = 0;
};

} // namespace velmora::platform
