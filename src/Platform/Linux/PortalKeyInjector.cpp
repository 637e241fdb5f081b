#include "PortalKeyInjector.h"

#include "PortalRemoteDesktop.h"


namespace velmora::platform {
PortalKeyInjector::PortalKeyInjector(PortalRemoteDesktop* session)
    : m_session(session)
{
}

bool PortalKeyInjector::canPost()
{
    return m_session && m_session->isStarted();
}

std::optional<KeyInjectionError> PortalKeyInjector::paste(PasteChord chord, std::chrono::milliseconds,
                                                          const PasteGate& beforeKeys)
{
    if (beforeKeys && !beforeKeys())
        return KeyInjectionError::withdrawn;
    if (!canPost())
        return KeyInjectionError::unavailable;
    const ChordKeys keys = keysOf(chord);
    const std::vector<std::uint32_t>& held = keys.held;
    const int key = int(keys.key);
    bool sent = true;
    for (const std::uint32_t modifier : held)
        sent = sent && m_session->sendKeysym(int(modifier), true);
    sent = sent && m_session->sendKeysym(key, true) && m_session->sendKeysym(key, false);
    // Whatever went down comes up again, even after a failure on the way.
    for (auto it = held.rbegin(); it != held.rend(); ++it)
        m_session->sendKeysym(int(*it), false);
    return sent ? std::nullopt : std::optional(KeyInjectionError::refused);
}

} // namespace velmora::platform
