#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QStringList>
#include <QVariantMap>

namespace velmora::test {

// The desktop portal's GlobalShortcuts and RemoteDesktop interfaces as its
// documentation defines them (requests answered by a Response on a request
// object, Activated sent on the desktop object), served on the session bus from
// this process through a connection of its own. It records what it was asked,
// and binds, starts or declines.
class PortalStandIn : public QDBusVirtualObject {
    Q_OBJECT
public:
    struct Bound {
        QString id;
        QVariantMap properties;
    };

    PortalStandIn();
    ~PortalStandIn() override;

    bool isServing() const { return m_serving; }
    QStringList calls;           // method names, in order
    QList<Bound> bindRequests;   // the shortcuts asked for, as sent
    QString triggerDescription = QStringLiteral("Ctrl+Space");
    bool declineBinding = false; // answers BindShortcuts with response 1 (the user cancelled)
    QStringList sessions;        // handles made, closed ones removed

    // RemoteDesktop
    bool declineRemoteDesktop = false;  // answers Start with response 1 (the user said no)
    QList<QVariantMap> deviceSelections; // SelectDevices' options, as sent
    QList<std::pair<int, uint>> keys;    // (keysym, state) of every NotifyKeyboardKeysym
    int restoreTokensGiven = 0;

    // Sends Activated for a shortcut of the newest session (or of `session`).
    void activate(const QString& shortcutId, const QString& session = {});

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private:
    void respond(const QString& requestPath, uint code, const QVariantMap& results);

    QDBusConnection m_bus;
    bool m_serving = false;
};

} // namespace velmora::test
