#pragma once

#include <QString>

namespace velmora::platform {

// Which system tray the desktop offers, asked without building any window:
// "statusNotifierItem" (a StatusNotifierWatcher with a host on the session bus,
// which the toolkit prefers), "xembed" (an X11 tray manager), or "none".
namespace SystemTrayProbe {
QString describe();
}

} // namespace velmora::platform
