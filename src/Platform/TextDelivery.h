#pragma once

#include "FrontmostApplicationSource.h"
#include "KeyInjector.h"
#include "NotificationCenter.h"
#include "SelectionReader.h"

#include <memory>

namespace velmora::platform {

// The one place that picks the session's backend for delivering text.
struct TextDelivery {
    static std::unique_ptr<FrontmostApplicationSource> frontmostApplication();
    static std::unique_ptr<NotificationCenter> notifications();
    static std::unique_ptr<SelectionReader> selectionReader();
    static std::unique_ptr<KeyInjector> keyInjector();
};

} // namespace velmora::platform
