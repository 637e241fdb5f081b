#pragma once

#include "SessionBackends.h"

namespace velmora::platform {

// The session's backends, probed once per process and logged once.
namespace DesktopSession {
const SessionBackends& backends();
}

} // namespace velmora::platform
