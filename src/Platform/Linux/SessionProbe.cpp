#include "SessionProbe.h"

#include "EvdevModifierTapSource.h"
#include "WaylandGlobals.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStandardPaths>

#include <unistd.h>

namespace velmora::platform {
namespace {

// Asked once at start with a short limit: a portal that is still starting is taken as absent.
bool portalOffersGlobalShortcuts()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage get = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.portal.Desktop"), QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QStringLiteral("org.freedesktop.portal.GlobalShortcuts") << QStringLiteral("version");
    const QDBusMessage reply = bus.call(get, QDBus::Block, 1000);
    return reply.type() == QDBusMessage::ReplyMessage;
}

} // namespace

SessionFacts probeSession()
{
    SessionFacts facts;
    facts.sessionType = qEnvironmentVariable("XDG_SESSION_TYPE").toLower();
    facts.currentDesktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP");
    facts.hasWaylandDisplay = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    facts.hasX11Display = !qEnvironmentVariableIsEmpty("DISPLAY");
    facts.swayIpc = !qEnvironmentVariableIsEmpty("SWAYSOCK");
    if (facts.hasWaylandDisplay)
        facts.waylandGlobals = waylandGlobals();
    if (facts.sessionType == QLatin1String("wayland") || (facts.sessionType.isEmpty() && facts.hasWaylandDisplay))
        facts.portalGlobalShortcuts = portalOffersGlobalShortcuts();
    facts.wtypeInstalled = !QStandardPaths::findExecutable(QStringLiteral("wtype")).isEmpty();
    facts.uinputWritable = ::access("/dev/uinput", W_OK) == 0;
    facts.keyboardDevicesReadable = !EvdevModifierTapSource::keyboardDevices().isEmpty();
    return facts;
}

} // namespace velmora::platform
