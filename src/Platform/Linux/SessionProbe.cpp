#include "SessionProbe.h"

#include "WaylandGlobals.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QStandardPaths>

#include <fcntl.h>
#include <linux/input.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace velmora::platform {
namespace {

bool isKeyboard(const QString& device)
{
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    unsigned long keys[(KEY_MAX + 1) / (8 * sizeof(unsigned long)) + 1] = {};
    const bool known = ::ioctl(fd, EVIOCGBIT(EV_KEY, sizeof keys), keys) >= 0;
    ::close(fd);
    const auto has = [&](int code) { return (keys[code / (8 * sizeof(unsigned long))] >> (code % (8 * sizeof(unsigned long)))) & 1; };
    return known && has(KEY_LEFTCTRL) && has(KEY_A);
}

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
    const QDir input(QStringLiteral("/dev/input"));
    for (const QString& name : input.entryList({QStringLiteral("event*")}, QDir::System)) {
        if (isKeyboard(input.filePath(name))) {
            facts.keyboardDevicesReadable = true;
            break;
        }
    }
    return facts;
}

} // namespace velmora::platform
