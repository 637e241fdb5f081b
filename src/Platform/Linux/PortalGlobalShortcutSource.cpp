#include "PortalGlobalShortcutSource.h"

#include "DesktopPortal.h"
#include "KeysymNames.h"

#include "Platform/LogCategories.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCall>


namespace velmora::platform::portal {

// One entry of a(sa{sv}): a shortcut's id and its properties.
struct Shortcut {
    QString id;
    QVariantMap properties;
};

} // namespace velmora::platform::portal

Q_DECLARE_METATYPE(velmora::platform::portal::Shortcut)

namespace velmora::platform {
namespace portal {

QDBusArgument& operator<<(QDBusArgument& argument, const Shortcut& shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, Shortcut& shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

} // namespace portal

namespace {

using DesktopPortal::desktopPath;
using DesktopPortal::handleOf;
using DesktopPortal::service;
const QString interface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

} // namespace

PortalGlobalShortcutSource::PortalGlobalShortcutSource(QDBusConnection bus, QObject* parent)
    : GlobalShortcutSource(parent)
    , m_bus(std::move(bus))
{
    qDBusRegisterMetaType<portal::Shortcut>();
    qDBusRegisterMetaType<QList<portal::Shortcut>>();
    if (m_bus.isConnected())
        m_bus.connect(service, desktopPath, interface, QStringLiteral("Activated"), this, SLOT(activated(QDBusMessage)));
}

PortalGlobalShortcutSource::~PortalGlobalShortcutSource()
{
    // At quit: a moment's wait, so the message leaves before the connection closes.
    closeSession(true);
}

std::optional<QString> PortalGlobalShortcutSource::triggerFor(const ShortcutGrab& shortcut)
{
    const auto key = keysymNameOf(shortcut.keyCode);
    if (!key)
        return std::nullopt;
    QStringList parts;
    const std::uint32_t held = shortcut.modifiers | shortcut.levelModifiers;
    for (const auto& [mask, name] : {std::pair{0x1000u, "CTRL"}, std::pair{0x800u, "ALT"}, std::pair{0x200u, "SHIFT"},
                                     std::pair{0x100u, "LOGO"}})
        if (held & mask)
            parts << QLatin1String(name);
    parts << *key;
    return parts.join(QLatin1Char('+'));
}

std::optional<ShortcutGrabError> PortalGlobalShortcutSource::grab(const ShortcutGrab& shortcut)
{
    if (!m_bus.isConnected())
        return ShortcutGrabError::declined;
    const auto trigger = triggerFor(shortcut);
    if (!trigger)
        return ShortcutGrabError::unknownKey;
    // Binding again may put the desktop's dialog in front of the user: only for a new combination.
    if (m_bound && m_shortcut && *trigger == m_trigger) {
        m_shortcut = shortcut;
        return std::nullopt;
    }
    m_shortcut = shortcut;
    m_trigger = *trigger;
    m_bound = false;
    if (!m_sessionHandle.isEmpty()) {
        bind();
    } else if (!m_creating) {
        m_creating = true;
        m_sessionToken = QStringLiteral("velmora%1").arg(++m_tokens);
        m_createRequest = request(QStringLiteral("CreateSession"), {},
                                  {{QStringLiteral("session_handle_token"), m_sessionToken}});
    }
    return std::nullopt;
}

void PortalGlobalShortcutSource::release()
{
    closeSession(false);
}

void PortalGlobalShortcutSource::closeSession(bool wait)
{
    m_shortcut.reset();
    m_bound = false;
    QString session = std::exchange(m_sessionHandle, QString());
    if (m_creating) {
        // Still being made: its answer is no longer wanted, and the session itself goes too.
        // The portal takes our calls in order, so it exists by the time the Close arrives.
        DesktopPortal::forget(m_bus, m_createRequest, this, SLOT(response(uint, QVariantMap, QDBusMessage)));
        m_creating = false;
        m_createRequest.clear();
        session = DesktopPortal::sessionPath(m_bus, m_sessionToken);
    }
    if (session.isEmpty() || !m_bus.isConnected())
        return;
    // Closing the session withdraws its shortcuts.
    const QDBusMessage close = QDBusMessage::createMethodCall(
        service, session, QStringLiteral("org.freedesktop.portal.Session"), QStringLiteral("Close"));
    if (wait)
        m_bus.call(close, QDBus::Block, 300);
    else
        m_bus.asyncCall(close);
}

QString PortalGlobalShortcutSource::request(const QString& method, const QVariantList& arguments, QVariantMap options)
{
    return DesktopPortal::request(m_bus, interface, method, arguments, std::move(options),
                                  QStringLiteral("velmora%1").arg(++m_tokens), this,
                                  SLOT(response(uint, QVariantMap, QDBusMessage)), [this, method](const QString& error) {
                                      qCWarning(logging::hotKey).noquote() << "the portal refused" << method << error;
                                      fail();
                                  });
}

void PortalGlobalShortcutSource::bind()
{
    if (!m_shortcut)
        return;
    const portal::Shortcut shortcut{shortcutId,
                                    {{QStringLiteral("description"), QStringLiteral("Start or stop a dictation")},
                                     {QStringLiteral("preferred_trigger"), m_trigger}}};
    m_bindRequest = request(QStringLiteral("BindShortcuts"),
                            {QVariant::fromValue(QDBusObjectPath(m_sessionHandle)),
                             QVariant::fromValue(QList<portal::Shortcut>{shortcut}), QString()},
                            {});
}

void PortalGlobalShortcutSource::fail()
{
    m_creating = false;
    m_bound = false;
    emit grabFailed(ShortcutGrabError::declined);
}

void PortalGlobalShortcutSource::response(uint code, const QVariantMap& results, const QDBusMessage& message)
{
    const QString path = message.path();
    DesktopPortal::forget(m_bus, path, this, SLOT(response(uint, QVariantMap, QDBusMessage)));
    if (path == m_createRequest) {
        m_creating = false;
        m_sessionHandle = code == 0 ? handleOf(results.value(QStringLiteral("session_handle"))) : QString();
        if (m_sessionHandle.isEmpty())
            return fail();
        bind();
        return;
    }
    if (path != m_bindRequest)
        return;
    if (code != 0)
        return fail(); // 1: the user cancelled the desktop's dialog; 2: it failed
    QList<portal::Shortcut> bound;
    results.value(QStringLiteral("shortcuts")).value<QDBusArgument>() >> bound;
    for (const portal::Shortcut& shortcut : bound) {
        if (shortcut.id == shortcutId) {
            m_bound = true;
            emit bindingDescribed(shortcut.properties.value(QStringLiteral("trigger_description")).toString());
            return;
        }
    }
    fail(); // answered, but without our shortcut
}

void PortalGlobalShortcutSource::activated(const QDBusMessage& message)
{
    const QVariantList arguments = message.arguments();
    if (!m_shortcut || arguments.size() < 2 || handleOf(arguments.at(0)) != m_sessionHandle
        || arguments.at(1).toString() != shortcutId)
        return;
    emit pressed(m_shortcut->signature, m_shortcut->id);
}

} // namespace velmora::platform
