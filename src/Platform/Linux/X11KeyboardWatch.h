#pragma once

#include <cstdint>

#include <xcb/xcb.h>

namespace velmora::platform {

// Asks the server for the keyboard-extension notices that mean "the layout a user
// types with changed": a new keymap, a changed map, or another active group.
bool selectKeyboardChangeEvents(xcb_connection_t* connection);
// Whether an event read on that connection is one of those notices.
bool isKeyboardChangeEvent(xcb_connection_t* connection, const xcb_generic_event_t& event);

} // namespace velmora::platform
