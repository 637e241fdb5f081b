#pragma once

#include <QIcon>

namespace velmora::TrayIconArt {

// A microphone glyph drawn at run time, so the icon is sharp at every tray size.
QIcon idleIcon();

} // namespace velmora::TrayIconArt
