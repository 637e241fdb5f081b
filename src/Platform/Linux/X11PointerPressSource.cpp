#include "X11PointerPressSource.h"

#include "X11Connection.h"

#include <xcb/xcb.h>
#include <xcb/xinput.h>


namespace velmora::platform {

std::unique_ptr<X11PointerPressSource> X11PointerPressSource::open()
{
    auto connection = X11Connection::open();
    const auto opcode = connection ? connection->rawInputOpcode() : std::nullopt;
    if (!opcode)
        return nullptr;
    return std::unique_ptr<X11PointerPressSource>(new X11PointerPressSource(std::move(connection), *opcode));
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
    return m_connection->selectRawEvents(on ? XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS : 0);
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
