#include "X11SelectionReader.h"

#include "X11Connection.h"

#include <xcb/xcb.h>

#include <poll.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>

namespace velmora::platform {
namespace {

using Clock = std::chrono::steady_clock;

struct Free {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, Free>;

QString atomName(xcb_connection_t* c, std::uint32_t value)
{
    Reply<xcb_get_atom_name_reply_t> reply(xcb_get_atom_name_reply(c, xcb_get_atom_name(c, value), nullptr));
    if (!reply)
        return {};
    return QString::fromLatin1(xcb_get_atom_name_name(reply.get()), xcb_get_atom_name_name_length(reply.get()));
}

class Session {
public:
    Session(xcb_connection_t* c, std::uint32_t window, Clock::time_point deadline)
        : m_c(c), m_window(window), m_deadline(deadline)
    {
    }

    // The next event of one of the two kinds for our window, or nothing at the deadline.
    Reply<xcb_generic_event_t> wait(std::uint8_t type)
    {
        while (true) {
            while (xcb_generic_event_t* event = xcb_poll_for_event(m_c)) {
                Reply<xcb_generic_event_t> owned(event);
                if ((event->response_type & 0x7f) == type)
                    return owned;
            }
            if (xcb_connection_has_error(m_c))
                return nullptr;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(m_deadline - Clock::now());
            if (left.count() <= 0)
                return nullptr;
            pollfd fd{xcb_get_file_descriptor(m_c), POLLIN, 0};
            ::poll(&fd, 1, static_cast<int>(left.count()));
        }
    }

    // Asks for one target; the property it arrived in, XCB_NONE when refused, nothing on time-out.
    std::optional<std::uint32_t> convert(std::uint32_t selection, std::uint32_t target, std::uint32_t property)
    {
        xcb_convert_selection(m_c, m_window, selection, target, property, XCB_CURRENT_TIME);
        xcb_flush(m_c);
        while (auto event = wait(XCB_SELECTION_NOTIFY)) {
            const auto* notice = reinterpret_cast<const xcb_selection_notify_event_t*>(event.get());
            if (notice->requestor == m_window && notice->target == target)
                return notice->property;
        }
        return std::nullopt;
    }

    // The property's whole value (deleted after reading), following INCR.
    std::variant<QByteArray, SelectionReadError> take(std::uint32_t property, std::uint32_t incr, qint64& budget)
    {
        Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            m_c, xcb_get_property(m_c, 1, m_window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 0x1fffffff), nullptr));
        if (!reply)
            return SelectionReadError::timedOut;
        if (reply->type != incr)
            return bytes(reply.get(), budget);
        QByteArray whole;
        while (true) {
            // Each chunk is announced by a new value of the property.
            bool arrived = false;
            while (auto event = wait(XCB_PROPERTY_NOTIFY)) {
                const auto* notice = reinterpret_cast<const xcb_property_notify_event_t*>(event.get());
                if (notice->window == m_window && notice->atom == property && notice->state == XCB_PROPERTY_NEW_VALUE) {
                    arrived = true;
                    break;
                }
            }
            if (!arrived)
                return SelectionReadError::timedOut;
            Reply<xcb_get_property_reply_t> chunk(xcb_get_property_reply(
                m_c, xcb_get_property(m_c, 1, m_window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 0x1fffffff), nullptr));
            if (!chunk)
                return SelectionReadError::timedOut;
            auto part = bytes(chunk.get(), budget);
            if (auto* error = std::get_if<SelectionReadError>(&part))
                return *error;
            if (std::get<QByteArray>(part).isEmpty())
                return whole; // the empty chunk ends the transfer
            whole += std::get<QByteArray>(part);
        }
    }

private:
    static std::variant<QByteArray, SelectionReadError> bytes(xcb_get_property_reply_t* reply, qint64& budget)
    {
        const int length = xcb_get_property_value_length(reply);
        budget -= length;
        if (budget < 0)
            return SelectionReadError::tooLarge;
        return QByteArray(static_cast<const char*>(xcb_get_property_value(reply)), length);
    }

    xcb_connection_t* m_c;
    std::uint32_t m_window;
    Clock::time_point m_deadline;
};

} // namespace

QString describe(SelectionReadError error)
{
    switch (error) {
    case SelectionReadError::noDisplay:
        return QStringLiteral("No X display to read the clipboard from.");
    case SelectionReadError::timedOut:
        return QStringLiteral("The program that owns the clipboard did not hand over its contents in time.");
    case SelectionReadError::tooLarge:
        return QStringLiteral("The clipboard holds more than Velmora can keep aside.");
    }
    return {};
}

std::variant<std::vector<SelectionFormat>, SelectionReadError> X11SelectionReader::read(Selection which, Limits limits)
{
    const auto deadline = Clock::now() + limits.time;
    const X11Client connection = x11ConnectClient();
    if (!connection)
        return SelectionReadError::noDisplay;
    xcb_connection_t* c = connection.get();
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const std::uint32_t selection = which == Selection::clipboard ? x11Atom(c, "CLIPBOARD") : std::uint32_t(XCB_ATOM_PRIMARY);
    Reply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr));
    if (!owner)
        return SelectionReadError::noDisplay;
    if (owner->owner == XCB_NONE)
        return std::vector<SelectionFormat>{}; // an empty selection

    const std::uint32_t window = xcb_generate_id(c);
    const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
    const std::uint32_t property = x11Atom(c, "VELMORA_SELECTION");
    const std::uint32_t targets = x11Atom(c, "TARGETS");
    const std::uint32_t incr = x11Atom(c, "INCR");
    Session session(c, window, deadline);
    qint64 budget = limits.bytes;

    const auto offered = session.convert(selection, targets, property);
    if (!offered)
        return SelectionReadError::timedOut;
    if (*offered == XCB_NONE)
        return std::vector<SelectionFormat>{}; // an owner that offers nothing
    auto list = session.take(property, incr, budget);
    if (auto* error = std::get_if<SelectionReadError>(&list))
        return *error;
    const QByteArray& raw = std::get<QByteArray>(list);

    // Targets that describe the selection rather than hold it.
    const std::set<QString> meta{QStringLiteral("TARGETS"), QStringLiteral("MULTIPLE"), QStringLiteral("TIMESTAMP"),
                                 QStringLiteral("SAVE_TARGETS"), QStringLiteral("DELETE"), QStringLiteral("INCR"),
                                 QStringLiteral("INSERT_SELECTION"), QStringLiteral("INSERT_PROPERTY")};
    std::vector<SelectionFormat> formats;
    std::set<std::uint32_t> seen;
    for (qsizetype offset = 0; offset + 4 <= raw.size(); offset += 4) {
        std::uint32_t target = 0;
        std::memcpy(&target, raw.constData() + offset, 4);
        if (!seen.insert(target).second)
            continue;
        const QString name = atomName(c, target);
        if (name.isEmpty() || meta.count(name))
            continue;
        const auto arrived = session.convert(selection, target, property);
        if (!arrived)
            return SelectionReadError::timedOut;
        if (*arrived == XCB_NONE)
            continue; // offered but refused: nobody could paste it either
        auto data = session.take(*arrived, incr, budget);
        if (auto* error = std::get_if<SelectionReadError>(&data))
            return *error;
        formats.push_back({name, std::get<QByteArray>(data)});
    }
    return formats;
}

} // namespace velmora::platform
