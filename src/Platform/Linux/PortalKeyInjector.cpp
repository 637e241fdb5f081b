#include "PortalKeyInjector.h"

#include "PortalRemoteDesktop.h"

#include <vector>

namespace velmora::platform {
namespace {

constexpr int controlL = 0xffe3, shiftL = 0xffe1, insert = 0xff63, letterV = 0x76;

} // namespace

PortalKeyInjector::PortalKeyInjector(PortalRemoteDesktop* session)
    : m_session(session)
{
}

bool PortalKeyInjector::canPost()
{
    return m_session && m_session->isStarted();
}

std::optional<KeyInjectionError> PortalKeyInjector::paste(PasteChord chord, std::chrono::milliseconds)
{
    if (!canPost())
        return KeyInjectionError::unavailable;
    std::vector<int> held;
    int key = letterV;
    switch (chord) {
    case PasteChord::controlV:
        held = {controlL};
        break;
    case PasteChord::controlShiftV:
        held = {controlL, shiftL};
        break;
    case PasteChord::shiftInsert:
        held = {shiftL};
        key = insert;
        break;
    }
    bool sent = true;
    for (int modifier : held)
        sent = sent && m_session->sendKeysym(modifier, true);
    sent = sent && m_session->sendKeysym(key, true) && m_session->sendKeysym(key, false);
    // Whatever went down comes up again, even after a failure on the way.
    for (auto it = held.rbegin(); it != held.rend(); ++it)
        m_session->sendKeysym(*it, false);
    return sent ? std::nullopt : std::optional(KeyInjectionError::refused);
}

} // namespace velmora::platform
