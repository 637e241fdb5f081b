#include "DesktopPortal.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>

namespace velmora::platform::DesktopPortal {

namespace {

QString senderPart(const QDBusConnection& bus)
{
    return bus.baseService().mid(1).replace(QLatin1Char('.'), QLatin1Char('_'));
}

} // namespace

QString requestPath(const QDBusConnection& bus, const QString& token)
{
    return QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(senderPart(bus), token);
}

QString sessionPath(const QDBusConnection& bus, const QString& token)
{
    return QStringLiteral("/org/freedesktop/portal/desktop/session/%1/%2").arg(senderPart(bus), token);
}

QString handleOf(const QVariant& value)
{
    if (value.canConvert<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    return value.toString();
}

QString request(QDBusConnection& bus, const QString& interface, const QString& method, QVariantList arguments,
                QVariantMap options, const QString& token, QObject* receiver, const char* responseSlot,
                std::function<void(const QString& error)> refused)
{
    const QString path = requestPath(bus, token);
    bus.connect(service, path, requestInterface, QStringLiteral("Response"), receiver, responseSlot);
    options.insert(QStringLiteral("handle_token"), token);
    QDBusMessage call = QDBusMessage::createMethodCall(service, desktopPath, interface, method);
    call.setArguments(arguments << options);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), receiver);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, receiver, [watcher, refused = std::move(refused)] {
        watcher->deleteLater();
        if (watcher->isError())
            refused(watcher->error().message());
    });
    return path;
}

void forget(QDBusConnection& bus, const QString& path, QObject* receiver, const char* responseSlot)
{
    bus.disconnect(service, path, requestInterface, QStringLiteral("Response"), receiver, responseSlot);
}

QList<bool> offers(const QDBusConnection& bus, const QStringList& interfaces)
{
    if (!bus.isConnected())
        return QList<bool>(interfaces.size(), false);
    QList<QDBusPendingCall> asked;
    for (const QString& interface : interfaces) {
        QDBusMessage get = QDBusMessage::createMethodCall(service, desktopPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                          QStringLiteral("Get"));
        get << interface << QStringLiteral("version");
        // A portal that is still starting is taken as absent rather than waited for.
        asked << bus.asyncCall(get, 1000);
    }
    QList<bool> offered;
    for (QDBusPendingCall& call : asked) {
        call.waitForFinished();
        offered << (call.reply().type() == QDBusMessage::ReplyMessage);
    }
    return offered;
}

} // namespace velmora::platform::DesktopPortal
