#pragma once

#include "Platform/KeyInjector.h"

namespace velmora::platform {

class PortalRemoteDesktop;

// Paste keys through the desktop portal's RemoteDesktop keyboard, as keysyms,
// so the layout does not matter. Nothing is sent before the user allowed it.
class PortalKeyInjector : public KeyInjector {
public:
    explicit PortalKeyInjector(PortalRemoteDesktop* session);

    bool canPost() override;
    [[nodiscard]] std::optional<KeyInjectionError> paste(PasteChord chord, std::chrono::milliseconds patience,
                                                         const PasteGate& beforeKeys = {}) override;

private:
    PortalRemoteDesktop* m_session;
};

} // namespace velmora::platform
