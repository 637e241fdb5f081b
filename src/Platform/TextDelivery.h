#pragma once

#include "FrontmostApplicationSource.h"

#include <memory>

namespace velmora::platform {

// The one place that picks the session's backend for delivering text.
struct TextDelivery {
    static std::unique_ptr<FrontmostApplicationSource> frontmostApplication();
};

} // namespace velmora::platform
