#pragma once

#include "FrontmostApplicationSource.h"
#include "KeyInjector.h"
#include "NotificationCenter.h"
#include "SelectionOwner.h"
#include "SelectionReader.h"

#include <functional>
#include <memory>

namespace velmora::platform {

// The one place that picks the session's backend for delivering text.
struct TextDelivery {
    static std::unique_ptr<FrontmostApplicationSource> frontmostApplication();
    // The application in front, asked through one source the program keeps for
    // its whole run. Main thread only.
    static std::optional<FrontmostApplication> currentFrontmostApplication();
    // Makes that source now, so one that starts following the compositor
    // asynchronously (KWin's script) is ready before the first dictation.
    static void prepareFrontmostApplication();
    static std::unique_ptr<NotificationCenter> notifications();
    static std::unique_ptr<SelectionReader> selectionReader();
    // Where the toolkit's clipboard does not reach the whole session (Wayland with
    // data control): an owner of the session's selections. Nothing elsewhere.
    static std::unique_ptr<SelectionOwner> selectionOwner();
    static std::unique_ptr<KeyInjector> keyInjector();
    // Where keys go through a desktop service that must be asked first (the portal's
    // RemoteDesktop), asks it now, on the main thread; `loadToken`/`saveToken` keep
    // the desktop's permission for the next start.
    static void prepareKeyInjection(std::function<QString()> loadToken, std::function<void(const QString&)> saveToken);
};

} // namespace velmora::platform
