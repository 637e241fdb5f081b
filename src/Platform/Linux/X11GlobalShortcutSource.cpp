#include "X11GlobalShortcutSource.h"

#include "X11Connection.h"
#include "X11KeyCodes.h"
#include "X11Keymap.h"

#include <xcb/xcb.h>
// The keyboard-extension header names a field "explicit"; C++ reserves the word.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

#include <algorithm>
#include <cstdlib>

namespace velmora::platform {
namespace {

constexpr std::uint32_t controlMask = 0x1000;
constexpr std::uint32_t optionMask = 0x800;
constexpr std::uint32_t shiftMask = 0x200;
constexpr std::uint32_t commandMask = 0x100;
constexpr std::uint8_t badAccess = 10;

} // namespace

X11GlobalShortcutSource::X11GlobalShortcutSource(QObject* parent)
    : GlobalShortcutSource(parent)
    , m_connection(X11Connection::open())
{
    if (!m_connection)
        return;
    if (X11Keymap::setUpExtension(m_connection->get())) {
        // A held key then repeats as presses alone, without a release before each.
        constexpr std::uint32_t detectable = XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT;
        xcb_xkb_per_client_flags_reply_t* reply = xcb_xkb_per_client_flags_reply(
            m_connection->get(),
            xcb_xkb_per_client_flags(m_connection->get(), XCB_XKB_ID_USE_CORE_KBD, detectable, detectable, 0, 0, 0),
            nullptr);
        m_detectableRepeat = reply && (reply->value & detectable);
        std::free(reply);
    }
    m_connection->setEventHandler([this](const xcb_generic_event_t& event) {
        const auto type = event.response_type & 0x7f;
        if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
            return;
        const auto& key = reinterpret_cast<const xcb_key_press_event_t&>(event);
        if (!m_grabbed || key.detail != m_grabbed->keyCode)
            return;
        if (type == XCB_KEY_RELEASE) {
            m_keyDown = false;
            m_lastReleaseTime = key.time;
            return;
        }
        // Without detectable repeat a held key sends release and press with one time
        // stamp. Only then: quick real presses can share a millisecond too.
        const bool repeat = m_keyDown || (!m_detectableRepeat && key.time == m_lastReleaseTime);
        m_keyDown = true;
        if (!repeat)
            emit pressed(m_grabbed->shortcut.signature, m_grabbed->shortcut.id);
    });
}

X11GlobalShortcutSource::~X11GlobalShortcutSource()
{
    release();
}

std::optional<ShortcutGrabError> X11GlobalShortcutSource::grab(const ShortcutGrab& shortcut)
{
    release();
    if (!m_connection)
        return ShortcutGrabError::noDisplay;
    const auto keyCode = x11KeyCode(shortcut.keyCode);
    if (!keyCode || *keyCode > 255)
        return ShortcutGrabError::unknownKey;
    const auto keymap = X11Keymap::load(m_connection->get());

    std::uint16_t mask = 0;
    const std::uint32_t all = shortcut.modifiers | shortcut.levelModifiers;
    if (all & controlMask)
        mask |= XCB_MOD_MASK_CONTROL;
    if (all & shiftMask)
        mask |= XCB_MOD_MASK_SHIFT;
    if (all & commandMask)
        mask |= XCB_MOD_MASK_4;
    if (shortcut.modifiers & optionMask)
        mask |= XCB_MOD_MASK_1;
    if (shortcut.levelModifiers & optionMask) {
        if (!keymap || keymap->levelThreeMask() == 0)
            return ShortcutGrabError::unknownKey;
        mask |= keymap->levelThreeMask();
    }
    const std::uint16_t numLock = keymap ? keymap->numLockMask() : 0;
    std::vector<std::uint16_t> masks;
    for (const std::uint16_t extra : {std::uint16_t(0), std::uint16_t(XCB_MOD_MASK_LOCK), numLock,
                                      std::uint16_t(XCB_MOD_MASK_LOCK | numLock)}) {
        if (std::find(masks.begin(), masks.end(), mask | extra) == masks.end())
            masks.push_back(mask | extra);
    }

    xcb_connection_t* c = m_connection->get();
    const auto key = static_cast<std::uint8_t>(*keyCode);
    std::vector<xcb_void_cookie_t> cookies;
    for (const auto variant : masks)
        cookies.push_back(
            xcb_grab_key_checked(c, 1, m_connection->root(), variant, key, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    std::optional<ShortcutGrabError> failure;
    for (const auto cookie : cookies) {
        if (xcb_generic_error_t* error = xcb_request_check(c, cookie)) {
            if (!failure)
                failure = error->error_code == badAccess ? ShortcutGrabError::refused : ShortcutGrabError::unknownKey;
            std::free(error);
        }
    }
    m_connection->drainSoon();
    if (failure) {
        // All variants or none: a half-grabbed key would fire only with Caps Lock on.
        ungrab(key, masks);
        return failure;
    }
    m_grabbed = Grabbed{shortcut, key, std::move(masks)};
    m_keyDown = false;
    m_lastReleaseTime = 0;
    return std::nullopt;
}

void X11GlobalShortcutSource::ungrab(std::uint8_t keyCode, const std::vector<std::uint16_t>& masks)
{
    for (const auto variant : masks)
        xcb_ungrab_key(m_connection->get(), keyCode, m_connection->root(), variant);
    m_connection->sync();
    m_connection->drainSoon();
}

void X11GlobalShortcutSource::release()
{
    if (!m_grabbed)
        return;
    const auto grabbed = std::move(*m_grabbed);
    m_grabbed.reset();
    if (m_connection)
        ungrab(grabbed.keyCode, grabbed.masks);
}

} // namespace velmora::platform
