#pragma once

#include "BrowserBridgeEvent.h"

#include <QString>

#include <functional>

namespace velmora {

// What the bridge coordinator asks of the dictation controller's browser sessions.
class BrowserSessionController {
public:
    using Emit = std::function<void(const BrowserBridgeEvent&)>;

    virtual ~BrowserSessionController() = default;
    // True when the session was accepted; a refusal comes through `emitEvent` (maybe before this returns).
    virtual bool startBrowserSession(const QString& id, Emit emitEvent) = 0;
    virtual void stopBrowserSession(const QString& id) = 0;
    virtual void cancelBrowserSession(const QString& id) = 0;
};

} // namespace velmora
