#pragma once

#include <QtGlobal>

namespace velmora::platform {

// Brings one of our own windows to the front with the keyboard focus. Window
// managers refuse a plain activation request whose time stamp is older than
// their last focus change (the popover reopened from a D-Bus tray call, a
// second launch), so the request is made the way a taskbar makes it.
namespace WindowActivation {
void activate(quintptr nativeWindowId);
}

} // namespace velmora::platform
