#include "X11PointerPressSource.h"

#include "X11Connection.h"

#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <cstdlib>

namespace velmora::platform {

std::unique_ptr<X11PointerPressSource> X11PointerPressSource::open()
{
    auto connection = X11Connection::open();
    if (!connection)
        return nullptr;
    const auto input = connection->extension("XInputExtension");
    if (!input)
        return nullptr;
    xcb_connection_t* c = connection->get();
    xcb_input_xi_query_version_reply_t* version =
        xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 2), nullptr);
    if (!version)
        return nullptr;
    const bool rawFromRoot = version->major_version > 2 || (version->major_version == 2 && version->minor_version >= 1);
    std::free(version);
    if (!rawFromRoot)
        return nullptr;
    return std::unique_ptr<X11PointerPressSource>(new X11PointerPressSource(std::move(connection), input->majorOpcode));
}

X11PointerPressSource::X11PointerPressSource(std::unique_ptr<X11Connection> connection, std::uint8_t inputOpcode)
    : m_connection(std::move(connection))
    , m_inputOpcode(inputOpcode)
{
    m_connection->setEventHandler([this](const xcb_generic_event_t& event) {
        if (!m_running || (event.response_type & 0x7f) != XCB_GE_GENERIC)
            return;
        const auto& generic = reinterpret_cast<const xcb_ge_generic_event_t&>(event);
        if (generic.extension != m_inputOpcode || generic.event_type != XCB_INPUT_RAW_BUTTON_PRESS)
            return;
        const auto& raw = reinterpret_cast<const xcb_input_raw_button_press_event_t&>(event);
        // Buttons 4 to 7 are the wheel: scrolling elsewhere is not a click elsewhere.
        if (raw.detail >= 4 && raw.detail <= 7)
            return;
        emit pressed();
    });
}

X11PointerPressSource::~X11PointerPressSource()
{
    stop();
}

bool X11PointerPressSource::select(bool on)
{
    struct {
        xcb_input_event_mask_t head;
        std::uint32_t mask;
    } selection{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, on ? std::uint32_t(XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS) : 0u};
    xcb_connection_t* c = m_connection->get();
    xcb_generic_error_t* error =
        xcb_request_check(c, xcb_input_xi_select_events_checked(c, m_connection->root(), 1, &selection.head));
    std::free(error);
    m_connection->drainSoon();
    return error == nullptr;
}

bool X11PointerPressSource::start()
{
    if (!m_running)
        m_running = select(true);
    return m_running;
}

void X11PointerPressSource::stop()
{
    if (!m_running)
        return;
    m_running = false;
    select(false);
}

} // namespace velmora::platform
