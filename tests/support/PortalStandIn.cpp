#include "PortalStandIn.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDateTime>
#include <QTimer>

Q_DECLARE_METATYPE(velmora::test::PortalStandIn::Bound)

namespace velmora::test {

QDBusArgument& operator<<(QDBusArgument& argument, const PortalStandIn::Bound& bound)
{
    argument.beginStructure();
    argument << bound.id << bound.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalStandIn::Bound& bound)
{
    argument.beginStructure();
    argument >> bound.id >> bound.properties;
    argument.endStructure();
    return argument;
}

namespace {

const QString desktop = QStringLiteral("/org/freedesktop/portal/desktop");
const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString remoteInterface = QStringLiteral("org.freedesktop.portal.RemoteDesktop");

QString senderPart(const QDBusMessage& message)
{
    return message.service().mid(1).replace('.', '_');
}

} // namespace

PortalStandIn::PortalStandIn()
    : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("portal-stand-in")))
{
    qDBusRegisterMetaType<Bound>();
    qDBusRegisterMetaType<QList<Bound>>();
    m_serving = m_bus.registerVirtualObject(desktop, this, QDBusConnection::SubPath)
                && m_bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop"));
}

PortalStandIn::~PortalStandIn()
{
    m_bus.unregisterService(QStringLiteral("org.freedesktop.portal.Desktop"));
    m_bus.unregisterObject(desktop, QDBusConnection::UnregisterTree);
    QDBusConnection::disconnectFromBus(QStringLiteral("portal-stand-in"));
}

QString PortalStandIn::introspect(const QString&) const
{
    return {};
}

bool PortalStandIn::handleMessage(const QDBusMessage& message, const QDBusConnection& connection)
{
    const QString member = message.member();
    const QVariantList arguments = message.arguments();
    if (message.interface() == QLatin1String("org.freedesktop.DBus.Properties") && member == QLatin1String("Get")) {
        if (arguments.value(0).toString() != shortcutsInterface && arguments.value(0).toString() != remoteInterface)
            return connection.send(message.createErrorReply(QDBusError::UnknownInterface, "no such interface"));
        return connection.send(message.createReply(QVariant::fromValue(QDBusVariant(uint(1)))));
    }
    if (message.interface() == QLatin1String("org.freedesktop.portal.Session") && member == QLatin1String("Close")) {
        calls << member;
        sessions.removeAll(message.path());
        return connection.send(message.createReply());
    }
    if (message.interface() == remoteInterface && member == QLatin1String("NotifyKeyboardKeysym")) {
        keys.append({arguments.value(2).toInt(), arguments.value(3).toUInt()});
        return connection.send(message.createReply());
    }
    if (message.interface() != shortcutsInterface && message.interface() != remoteInterface)
        return false;
    calls << member;
    const QVariantMap options = qdbus_cast<QVariantMap>(arguments.last());
    const QString requestPath = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                                    .arg(senderPart(message), options.value("handle_token").toString());
    connection.send(message.createReply(QVariant::fromValue(QDBusObjectPath(requestPath))));
    if (member == QLatin1String("CreateSession")) {
        const QString session = QStringLiteral("/org/freedesktop/portal/desktop/session/%1/%2")
                                    .arg(senderPart(message), options.value("session_handle_token").toString());
        sessions << session;
        respond(requestPath, 0, {{"session_handle", session}});
    } else if (member == QLatin1String("SelectDevices")) {
        deviceSelections << options;
        respond(requestPath, 0, {});
    } else if (member == QLatin1String("Start")) {
        if (declineRemoteDesktop)
            respond(requestPath, 1, {});
        else
            respond(requestPath, 0, {{"devices", uint(1)}, {"restore_token", QString("token-%1").arg(++restoreTokensGiven)}});
    } else if (member == QLatin1String("BindShortcuts")) {
        QList<Bound> asked;
        arguments.value(1).value<QDBusArgument>() >> asked;
        bindRequests += asked;
        if (declineBinding) {
            respond(requestPath, 1, {});
        } else {
            QList<Bound> bound;
            for (const Bound& shortcut : asked)
                bound.append({shortcut.id,
                              {{"description", shortcut.properties.value("description")},
                               {"trigger_description", triggerDescription}}});
            respond(requestPath, 0, {{"shortcuts", QVariant::fromValue(bound)}});
        }
    }
    return true;
}

void PortalStandIn::respond(const QString& requestPath, uint code, const QVariantMap& results)
{
    // After the method's own reply, as the portal does.
    QTimer::singleShot(20, this, [this, requestPath, code, results] {
        QDBusMessage response = QDBusMessage::createSignal(requestPath, "org.freedesktop.portal.Request", "Response");
        response << code << results;
        m_bus.send(response);
    });
}

void PortalStandIn::activate(const QString& shortcutId, const QString& session)
{
    QDBusMessage activated = QDBusMessage::createSignal(desktop, shortcutsInterface, "Activated");
    activated << QVariant::fromValue(QDBusObjectPath(session.isEmpty() ? sessions.value(sessions.size() - 1) : session))
              << shortcutId << quint64(QDateTime::currentMSecsSinceEpoch()) << QVariantMap{};
    m_bus.send(activated);
}

} // namespace velmora::test
