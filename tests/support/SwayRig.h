#pragma once

#include <QString>

namespace velmora::test {

// The app_id of the window the rig's sway has focused (empty for none or an XWayland window).
QString swayFocusedAppId();

} // namespace velmora::test
