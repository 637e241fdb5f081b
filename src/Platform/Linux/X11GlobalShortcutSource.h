#pragma once

#include "Platform/GlobalShortcutSource.h"

#include <memory>
#include <vector>

namespace velmora::platform {

class X11Connection;

// A passive key grab on the root window, in every Caps Lock / Num Lock variant.
class X11GlobalShortcutSource final : public GlobalShortcutSource {
    Q_OBJECT
public:
    explicit X11GlobalShortcutSource(QObject* parent = nullptr);
    ~X11GlobalShortcutSource() override;

    std::optional<ShortcutGrabError> grab(const ShortcutGrab& shortcut) override;
    void release() override;

private:
    struct Grabbed {
        ShortcutGrab shortcut;
        std::uint8_t keyCode = 0;
        std::vector<std::uint16_t> masks;
    };

    void ungrab(std::uint8_t keyCode, const std::vector<std::uint16_t>& masks);

    std::unique_ptr<X11Connection> m_connection;
    std::optional<Grabbed> m_grabbed;
    bool m_detectableRepeat = false;
    bool m_keyDown = false;
    std::uint32_t m_lastReleaseTime = 0;
};

} // namespace velmora::platform
