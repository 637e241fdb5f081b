#pragma once

#include "FrontmostApplicationSource.h"
#include "KeyInjector.h"
#include "NotificationCenter.h"
#include "SelectionOwner.h"
#include "SelectionReader.h"

#include <memory>

namespace velmora::platform {

// The one place that picks the session's backend for delivering text.
struct TextDelivery {
    static std::unique_ptr<FrontmostApplicationSource> frontmostApplication();
    // The application in front, asked through one source the program keeps for
    // its whole run. Main thread only.
    static std::optional<FrontmostApplication> currentFrontmostApplication();
    static std::unique_ptr<NotificationCenter> notifications();
    static std::unique_ptr<SelectionReader> selectionReader();
    // Where the toolkit's clipboard does not reach the whole session (Wayland with
    // data control): an owner of the session's selections. Nothing elsewhere.
    static std::unique_ptr<SelectionOwner> selectionOwner();
    static std::unique_ptr<KeyInjector> keyInjector();
};

} // namespace velmora::platform
