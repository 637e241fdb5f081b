#pragma once

#include "FrontmostApplicationSource.h"
#include "NotificationCenter.h"

#include <memory>

namespace velmora::platform {

// The one place that picks the session's backend for delivering text.
struct TextDelivery {
    static std::unique_ptr<FrontmostApplicationSource> frontmostApplication();
    static std::unique_ptr<NotificationCenter> notifications();
};

} // namespace velmora::platform
