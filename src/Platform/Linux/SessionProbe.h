#pragma once

#include "Platform/SessionFacts.h"

namespace velmora::platform {

// Reads the session's facts: the environment, the compositor's globals, the
// programs and device nodes Velmora could use. Quick, but it connects to the
// compositor once: call it once at start-up.
SessionFacts probeSession();

} // namespace velmora::platform
