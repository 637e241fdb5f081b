#include "X11Connection.h"

#include <QSocketNotifier>
#include <QTimer>

#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <cstdlib>
#include <cstring>

namespace velmora::platform {

std::unique_ptr<X11Connection> X11Connection::open()
{
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display)
        return nullptr;
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(display, &screenNumber);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return nullptr;
    }
    auto screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    if (!screens.rem) {
        xcb_disconnect(connection);
        return nullptr;
    }
    return std::unique_ptr<X11Connection>(new X11Connection(connection, screens.data->root));
}

X11Connection::X11Connection(xcb_connection_t* connection, std::uint32_t root)
    : m_connection(connection)
    , m_root(root)
{
}

X11Connection::~X11Connection()
{
    delete m_notifier;
    xcb_disconnect(m_connection);
}

std::optional<X11Connection::Extension> X11Connection::extension(const char* name) const
{
    auto cookie = xcb_query_extension(m_connection, static_cast<std::uint16_t>(std::strlen(name)), name);
    xcb_query_extension_reply_t* reply = xcb_query_extension_reply(m_connection, cookie, nullptr);
    if (!reply)
        return std::nullopt;
    std::optional<Extension> result;
    if (reply->present)
        result = Extension{reply->major_opcode, reply->first_event, reply->first_error};
    std::free(reply);
    return result;
}

void X11Connection::setEventHandler(std::function<void(const xcb_generic_event_t&)> handler)
{
    m_handler = std::move(handler);
    if (!m_notifier) {
        m_notifier = new QSocketNotifier(xcb_get_file_descriptor(m_connection), QSocketNotifier::Read);
        connect(m_notifier, &QSocketNotifier::activated, this, &X11Connection::drain);
    }
    drainSoon();
}

void X11Connection::drainSoon()
{
    xcb_flush(m_connection);
    if (m_drainQueued)
        return;
    m_drainQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_drainQueued = false;
        drain();
    });
}

void X11Connection::drain()
{
    while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
        if (m_handler)
            m_handler(*event);
        std::free(event);
    }
    if (xcb_connection_has_error(m_connection) && m_notifier)
        m_notifier->setEnabled(false); // the server went away; nothing more will come
}

bool X11Connection::sync()
{
    return x11RoundTrip(m_connection);
}

X11Client x11ConnectClient()
{
    X11Client connection(xcb_connect(nullptr, nullptr));
    if (xcb_connection_has_error(connection.get()))
        return nullptr;
    return connection;
}

bool x11RoundTrip(xcb_connection_t* connection)
{
    xcb_get_input_focus_reply_t* reply = xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr);
    std::free(reply);
    return reply != nullptr;
}

std::uint32_t x11Atom(xcb_connection_t* connection, const char* name)
{
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
    const std::uint32_t value = reply ? reply->atom : std::uint32_t(XCB_NONE);
    std::free(reply);
    return value;
}

std::optional<std::uint8_t> X11Connection::rawInputOpcode() const
{
    const auto input = extension("XInputExtension");
    if (!input)
        return std::nullopt;
    xcb_input_xi_query_version_reply_t* version =
        xcb_input_xi_query_version_reply(m_connection, xcb_input_xi_query_version(m_connection, 2, 2), nullptr);
    if (!version)
        return std::nullopt;
    const bool rawFromRoot = version->major_version > 2 || (version->major_version == 2 && version->minor_version >= 1);
    std::free(version);
    return rawFromRoot ? std::optional(input->majorOpcode) : std::nullopt;
}

bool X11Connection::selectRawEvents(std::uint32_t xiEventMask)
{
    struct {
        xcb_input_event_mask_t head;
        std::uint32_t mask;
    } selection{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, xiEventMask};
    xcb_generic_error_t* error = xcb_request_check(
        m_connection, xcb_input_xi_select_events_checked(m_connection, m_root, 1, &selection.head));
    std::free(error);
    drainSoon();
    return error == nullptr;
}

bool x11CanWatchAndPostKeys()
{
    const auto connection = X11Connection::open();
    return connection && connection->extension("XTEST") && connection->rawInputOpcode();
}

} // namespace velmora::platform
