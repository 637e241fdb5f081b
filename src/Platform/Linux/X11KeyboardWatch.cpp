#include "X11KeyboardWatch.h"

#include <xcb/xcb.h>
// The keyboard-extension header names a field "explicit"; C++ reserves the word.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

#include <cstdlib>

namespace velmora::platform {

bool selectKeyboardChangeEvents(xcb_connection_t* connection)
{
    constexpr std::uint16_t events = XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY
        | XCB_XKB_EVENT_TYPE_STATE_NOTIFY;
    constexpr std::uint16_t mapParts = XCB_XKB_MAP_PART_KEY_TYPES | XCB_XKB_MAP_PART_KEY_SYMS
        | XCB_XKB_MAP_PART_MODIFIER_MAP | XCB_XKB_MAP_PART_EXPLICIT_COMPONENTS | XCB_XKB_MAP_PART_KEY_ACTIONS
        | XCB_XKB_MAP_PART_VIRTUAL_MODS | XCB_XKB_MAP_PART_VIRTUAL_MOD_MAP;
    // Group changes only: modifier presses would wake us on every key.
    constexpr std::uint16_t stateParts = XCB_XKB_STATE_PART_GROUP_BASE | XCB_XKB_STATE_PART_GROUP_LATCH
        | XCB_XKB_STATE_PART_GROUP_LOCK | XCB_XKB_STATE_PART_GROUP_STATE;
    xcb_xkb_select_events_details_t details{};
    details.affectNewKeyboard = XCB_XKB_NKN_DETAIL_KEYCODES;
    details.newKeyboardDetails = XCB_XKB_NKN_DETAIL_KEYCODES;
    details.affectState = stateParts;
    details.stateDetails = stateParts;
    const auto cookie = xcb_xkb_select_events_aux_checked(connection, XCB_XKB_ID_USE_CORE_KBD, events, 0, 0,
                                                          mapParts, mapParts, &details);
    xcb_generic_error_t* error = xcb_request_check(connection, cookie);
    std::free(error);
    return error == nullptr;
}

bool isKeyboardChangeEvent(xcb_connection_t* connection, const xcb_generic_event_t& event)
{
    const xcb_query_extension_reply_t* xkb = xcb_get_extension_data(connection, &xcb_xkb_id);
    if (!xkb || !xkb->present || (event.response_type & 0x7f) != xkb->first_event)
        return false;
    // The keyboard extension's own event kind sits in the second byte.
    switch (event.pad0) {
    case XCB_XKB_NEW_KEYBOARD_NOTIFY:
    case XCB_XKB_MAP_NOTIFY:
    case XCB_XKB_STATE_NOTIFY:
        return true;
    default:
        return false;
    }
}

} // namespace velmora::platform
