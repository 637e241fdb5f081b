#include "X11FrontmostApplication.h"

#include "ApplicationName.h"

#include "X11Connection.h"

#include <cstdlib>
#include <cstring>

namespace velmora::platform {
namespace {

std::optional<QByteArray> property(xcb_connection_t* c, std::uint32_t window, std::uint32_t name, std::uint32_t type)
{
    // 64 KiB is far more than any title or class a window sets.
    xcb_get_property_reply_t* reply =
        xcb_get_property_reply(c, xcb_get_property(c, 0, window, name, type, 0, 16384), nullptr);
    if (!reply)
        return std::nullopt;
    std::optional<QByteArray> value;
    if (reply->type != XCB_NONE)
        value = QByteArray(static_cast<const char*>(xcb_get_property_value(reply)),
                           xcb_get_property_value_length(reply));
    std::free(reply);
    return value;
}

} // namespace

X11FrontmostApplication::X11FrontmostApplication(bool waylandSession)
    : m_connection(X11Connection::open())
    , m_waylandSession(waylandSession)
{
    if (!m_connection)
        return;
    xcb_connection_t* c = m_connection->get();
    m_activeWindow = x11Atom(c, "_NET_ACTIVE_WINDOW");
    m_pid = x11Atom(c, "_NET_WM_PID");
}

X11FrontmostApplication::~X11FrontmostApplication() = default;

std::optional<FrontmostApplication> X11FrontmostApplication::current()
{
    const auto none = [this]() -> std::optional<FrontmostApplication> {
        if (m_waylandSession)
            return FrontmostApplication{FrontmostApplication::unseenWaylandWindow};
        return std::nullopt;
    };
    if (!m_connection)
        return none();
    xcb_connection_t* c = m_connection->get();
    const auto active = property(c, m_connection->root(), m_activeWindow, XCB_ATOM_WINDOW);
    if (!active || active->size() < 4)
        return none();
    FrontmostApplication application;
    std::memcpy(&application.window, active->constData(), 4);
    if (application.window == XCB_NONE)
        return none();
    if (const auto pid = property(c, application.window, m_pid, XCB_ATOM_CARDINAL); pid && pid->size() >= 4) {
        std::uint32_t value = 0;
        std::memcpy(&value, pid->constData(), 4);
        application.processId = static_cast<qint32>(value);
    }
    if (const auto classes = property(c, application.window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING); classes) {
        const QList<QByteArray> parts = classes->split('\0');
        if (!parts.isEmpty() && !parts.value(0).isEmpty())
            application.instance = QString::fromLatin1(parts.value(0));
        if (parts.size() > 1 && !parts.value(1).isEmpty())
            application.identifier = QString::fromLatin1(parts.value(1));
    }
    if (application.identifier)
        application.name = ApplicationName::of(*application.identifier);
    return application;
}

} // namespace velmora::platform
