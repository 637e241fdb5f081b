#include "Platform/SystemTrayProbe.h"

#include "X11Connection.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDBusVariant>
#include <QFileInfo>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace velmora::platform::SystemTrayProbe {

namespace {

bool statusNotifierHost()
{
    // Without a session bus the library would try to start one; a probe must not.
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")
        && (runtime.isEmpty() || !QFileInfo::exists(QString::fromLocal8Bit(runtime) + QStringLiteral("/bus"))))
        return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage get = QDBusMessage::createMethodCall(QStringLiteral("org.kde.StatusNotifierWatcher"),
                                                      QStringLiteral("/StatusNotifierWatcher"),
                                                      QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << QStringLiteral("org.kde.StatusNotifierWatcher") << QStringLiteral("IsStatusNotifierHostRegistered");
    const QDBusReply<QDBusVariant> reply = bus.call(get, QDBus::Block, 2000);
    return reply.isValid() && reply.value().variant().toBool();
}

bool xembedTray()
{
    const X11Client client = x11ConnectClient();
    if (!client)
        return false;
    xcb_connection_t* c = client.get();
    int screenNumber = 0;
    if (const char* display = std::getenv("DISPLAY")) {
        if (const char* dot = std::strrchr(display, '.'); dot && std::strchr(display, ':') < dot)
            screenNumber = std::atoi(dot + 1);
    }
    const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(screenNumber);
    const std::uint32_t atom = x11Atom(c, name.constData());
    if (atom == XCB_NONE)
        return false;
    xcb_get_selection_owner_reply_t* reply =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom), nullptr);
    const bool owned = reply && reply->owner != XCB_NONE;
    std::free(reply);
    return owned;
}

} // namespace

QString describe()
{
    if (statusNotifierHost())
        return QStringLiteral("statusNotifierItem");
    if (xembedTray())
        return QStringLiteral("xembed");
    return QStringLiteral("none");
}

} // namespace velmora::platform::SystemTrayProbe
