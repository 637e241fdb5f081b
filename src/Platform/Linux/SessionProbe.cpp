#include "SessionProbe.h"

#include "DesktopPortal.h"
#include "EvdevModifierTapSource.h"
#include "WaylandGlobals.h"

#include <QDBusConnection>
#include <QStandardPaths>

#include <unistd.h>

namespace velmora::platform {
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
    if (facts.sessionType == QLatin1String("wayland") || (facts.sessionType.isEmpty() && facts.hasWaylandDisplay)) {
        const QList<bool> offered = DesktopPortal::offers(
            QDBusConnection::sessionBus(),
            {QStringLiteral("org.freedesktop.portal.GlobalShortcuts"), QStringLiteral("org.freedesktop.portal.RemoteDesktop")});
        facts.portalGlobalShortcuts = offered.value(0);
        facts.portalRemoteDesktop = offered.value(1);
    }
    facts.wtypeInstalled = !QStandardPaths::findExecutable(QStringLiteral("wtype")).isEmpty();
    facts.uinputWritable = ::access("/dev/uinput", W_OK) == 0;
    facts.keyboardDevicesReadable = !EvdevModifierTapSource::keyboardDevices().isEmpty();
    return facts;
}

} // namespace velmora::platform
