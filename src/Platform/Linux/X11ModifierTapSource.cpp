#include "X11ModifierTapSource.h"

#include "X11Connection.h"
#include "X11KeyboardWatch.h"
#include "X11Keymap.h"

#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <cstdlib>

namespace velmora::platform {

X11ModifierTapSource::X11ModifierTapSource(QObject* parent)
    : ModifierTapSource(parent)
    , m_connection(X11Connection::open())
{
    if (!m_connection || !X11Keymap::setUpExtension(m_connection->get()))
        return;
    const auto opcode = m_connection->rawInputOpcode();
    if (!opcode)
        return;
    m_inputOpcode = *opcode;
    xcb_connection_t* c = m_connection->get();
    selectKeyboardChangeEvents(c);
    m_connection->setEventHandler([this](const xcb_generic_event_t& event) { handle(event); });
}

X11ModifierTapSource::~X11ModifierTapSource()
{
    stop();
}

bool X11ModifierTapSource::select(bool raw)
{
    return m_connection->selectRawEvents(
        raw ? XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE : 0);
}

bool X11ModifierTapSource::start()
{
    if (!canObserve())
        return false;
    if (m_running)
        return true;
    loadKeymap();
    m_down.fill(false);
    m_running = m_hasKeymap && select(true);
    return m_running;
}

void X11ModifierTapSource::stop()
{
    if (!m_running)
        return;
    m_running = false;
    select(false);
    m_down.fill(false);
}

void X11ModifierTapSource::loadKeymap()
{
    const auto keymap = X11Keymap::load(m_connection->get());
    m_connection->drainSoon();
    m_hasKeymap = keymap != nullptr;
    for (std::uint32_t key = 0; key < m_flagOfKey.size(); ++key)
        m_flagOfKey[key] = keymap ? keymap->modifierFlag(key) : 0;
}

double X11ModifierTapSource::seconds(std::uint32_t serverTime)
{
    // Server time is 32-bit milliseconds and wraps after 49.7 days; a wrap must
    // not look like a pause of minus seven weeks.
    if (serverTime < m_lastServerTime && m_lastServerTime - serverTime > 0x80000000u)
        ++m_wraps;
    m_lastServerTime = serverTime;
    return static_cast<double>((m_wraps << 32) + serverTime) / 1000.0;
}

void X11ModifierTapSource::handle(const xcb_generic_event_t& event)
{
    if (isKeyboardChangeEvent(m_connection->get(), event)) {
        if (m_running)
            loadKeymap();
        return;
    }
    if (!m_running || (event.response_type & 0x7f) != XCB_GE_GENERIC)
        return;
    const auto& generic = reinterpret_cast<const xcb_ge_generic_event_t&>(event);
    if (generic.extension != m_inputOpcode)
        return;
    if (generic.event_type != XCB_INPUT_RAW_KEY_PRESS && generic.event_type != XCB_INPUT_RAW_KEY_RELEASE)
        return;
    const auto& raw = reinterpret_cast<const xcb_input_raw_key_press_event_t&>(event);
    if (raw.detail >= m_flagOfKey.size() || m_flagOfKey[raw.detail] == 0)
        return; // ordinary keys are never seen by the detector
    m_down[raw.detail] = generic.event_type == XCB_INPUT_RAW_KEY_PRESS;
    std::uint64_t flags = 0;
    for (std::uint32_t key = 0; key < m_down.size(); ++key) {
        if (m_down[key])
            flags |= m_flagOfKey[key];
    }
    emit modifierFlagsChanged(seconds(raw.time), flags);
}

} // namespace velmora::platform
