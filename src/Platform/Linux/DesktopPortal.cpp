#include "DesktopPortal.h"

#include <QDBusMessage>
#include <QDBusObjectPath>

namespace velmora::platform::DesktopPortal {

QString requestPath(const QDBusConnection& bus, const QString& token)
{
    const QString sender = bus.baseService().mid(1).replace(QLatin1Char('.'), QLatin1Char('_'));
    return QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
}

QString handleOf(const QVariant& value)
{
    if (value.canConvert<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    return value.toString();
}

bool offers(const QDBusConnection& bus, const QString& interface)
{
    if (!bus.isConnected())
        return false;
    QDBusMessage get = QDBusMessage::createMethodCall(service, desktopPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << interface << QStringLiteral("version");
    // A portal that is still starting is taken as absent rather than waited for.
    return bus.call(get, QDBus::Block, 1000).type() == QDBusMessage::ReplyMessage;
}

} // namespace velmora::platform::DesktopPortal
