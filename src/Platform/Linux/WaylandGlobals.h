#pragma once

#include <QStringList>

namespace velmora::platform {

// The interfaces the Wayland compositor named by WAYLAND_DISPLAY offers, asked
// over a connection of its own that is closed again; empty without a compositor.
QStringList waylandGlobals();

} // namespace velmora::platform
